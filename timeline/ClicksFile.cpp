#include "ClicksFile.h"

#include "Json.h"

#include <cmath>

namespace orvane {

std::optional<std::string> ClicksFile::encode(const std::vector<Moment>& clicks) {
    const double duration = clicks.empty() ? 0 : clicks.back().t;
    if (!std::isfinite(duration)) {
        return std::nullopt;
    }
    std::string out = "{\"duration\":" + jsonNumber(duration) + ",\"moments\":[";
    bool first = true;
    for (const Moment& m : clicks) {
        if (!std::isfinite(m.t) || !std::isfinite(m.cx) || !std::isfinite(m.cy)) {
            return std::nullopt;
        }
        if (!first) {
            out += ',';
        }
        first = false;
        out += "{\"t\":" + jsonNumber(m.t) + ",\"x\":" + jsonNumber(m.cx) +
               ",\"y\":" + jsonNumber(m.cy) + '}';
    }
    out += "]}";
    return out;
}

Result<ClicksFile> ClicksFile::parse(std::string_view text) {
    using R = Result<ClicksFile>;
    auto doc = JsonValue::parse(text);
    if (!doc) {
        return R::failure(ErrorKind::Corrupt, "not valid JSON: " + doc.error());
    }
    if (!doc->isObject()) {
        return R::failure(ErrorKind::Corrupt, "expected a JSON object at the top level");
    }
    ClicksFile file;
    if (const JsonValue* d = doc->member("duration")) {
        if (!d->isNumber()) {
            return R::failure(ErrorKind::Corrupt, "\"duration\" is not a number");
        }
        file.duration = d->number();
    } else {
        return R::failure(ErrorKind::Corrupt, "missing \"duration\"");
    }
    const JsonValue* moments = doc->member("moments");
    if (moments == nullptr) {
        return R::failure(ErrorKind::Corrupt, "missing \"moments\"");
    }
    if (!moments->isArray()) {
        return R::failure(ErrorKind::Corrupt, "\"moments\" is not an array");
    }
    std::size_t index = 0;
    for (const JsonValue& item : moments->array()) {
        const std::string where = "moment " + std::to_string(index);
        if (!item.isObject()) {
            return R::failure(ErrorKind::Corrupt, where + " is not an object");
        }
        Moment m;
        const char* names[] = {"t", "x", "y"};
        double* fields[] = {&m.t, &m.cx, &m.cy};
        for (int k = 0; k < 3; ++k) {
            const JsonValue* v = item.member(names[k]);
            if (v == nullptr || !v->isNumber()) {
                return R::failure(ErrorKind::Corrupt, where + " has no numeric \"" + names[k] + "\"");
            }
            *fields[k] = v->number();
        }
        m.hold = kRecordedHold;
        file.moments.push_back(m);
        ++index;
    }
    return file;
}

} // namespace orvane
