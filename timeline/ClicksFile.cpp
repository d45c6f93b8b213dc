#include "ClicksFile.h"

#include "ClicksSax.h"
#include "JsonNumber.h"
#include "TextFile.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <exception>
#include <new>

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

Result<ClicksFile> ClicksFile::parse(std::string_view bytes) {
    using R = Result<ClicksFile>;
    auto text = utf8Text(bytes);
    if (!text) {
        return text.errorValue();
    }
    // nlohmann reports through exceptions where the handler cannot (memory,
    // for one): none may leave this reader.
    try {
        ClicksSax handler;
        const std::string_view t = text.value();
        const bool parsed = nlohmann::json::sax_parse(t.begin(), t.end(), &handler,
                                                      nlohmann::json::input_format_t::json,
                                                      /*strict=*/true);
        if (!parsed) {
            return R::failure(ErrorKind::Corrupt, handler.syntaxError());
        }
        return handler.finish();
    } catch (const std::bad_alloc&) {
        return R::failure(ErrorKind::Unsupported, "too large to read: out of memory");
    } catch (const std::exception& e) {
        return R::failure(ErrorKind::Corrupt, std::string("not valid JSON: ") + e.what());
    }
}

} // namespace orvane
