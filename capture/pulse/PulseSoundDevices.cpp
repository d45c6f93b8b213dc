#include "PulseSoundDevices.h"

#include "PulseLoop.h"
#include "PulseSoundSource.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <optional>

namespace orvane {

namespace {

using pulse::PulseLoop;

constexpr double kQueryTimeoutSeconds = 3.0;

// One introspection query: the callbacks fill `T` and signal the loop when
// the list ends.
template <typename T>
struct Query {
    pa_threaded_mainloop* loop = nullptr;
    T answer{};
    bool done = false;
};

// Waits for `operation` (under the loop's lock); false when the server did
// not finish it in time or dropped the connection.
bool finish(PulseLoop& loop, pa_operation* operation, const bool& done) {
    if (operation == nullptr) {
        return false;
    }
    const bool finished = loop.waitUntil(
        [&] { return done || pa_operation_get_state(operation) != PA_OPERATION_RUNNING; }, kQueryTimeoutSeconds);
    if (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) {
        pa_operation_cancel(operation);
    }
    pa_operation_unref(operation);
    return finished && done;
}

struct ServerDefaults {
    std::string source;
    std::string sink;
};

std::optional<ServerDefaults> serverDefaults(PulseLoop& loop) {
    Query<ServerDefaults> query;
    query.loop = loop.loop();
    pa_operation* operation = pa_context_get_server_info(
        loop.context(),
        [](pa_context*, const pa_server_info* info, void* userdata) {
            auto* q = static_cast<Query<ServerDefaults>*>(userdata);
            if (info != nullptr) {
                q->answer.source = info->default_source_name != nullptr ? info->default_source_name : "";
                q->answer.sink = info->default_sink_name != nullptr ? info->default_sink_name : "";
            }
            q->done = true;
            pa_threaded_mainloop_signal(q->loop, 0);
        },
        &query);
    if (!finish(loop, operation, query.done)) {
        return std::nullopt;
    }
    return query.answer;
}

struct SourceEntry {
    std::string name;
    std::string description;
    bool monitor = false;
};

// Every source of the server, monitors included; nothing when it did not answer.
std::optional<std::vector<SourceEntry>> sources(PulseLoop& loop) {
    Query<std::vector<SourceEntry>> query;
    query.loop = loop.loop();
    pa_operation* operation = pa_context_get_source_info_list(
        loop.context(),
        [](pa_context*, const pa_source_info* info, int eol, void* userdata) {
            auto* q = static_cast<Query<std::vector<SourceEntry>>*>(userdata);
            if (eol != 0 || info == nullptr) {
                q->done = true;
                pa_threaded_mainloop_signal(q->loop, 0);
                return;
            }
            q->answer.push_back(SourceEntry{info->name != nullptr ? info->name : "",
                                            info->description != nullptr ? info->description : "",
                                            info->monitor_of_sink != PA_INVALID_INDEX});
        },
        &query);
    if (!finish(loop, operation, query.done)) {
        return std::nullopt;
    }
    return std::move(query.answer);
}

struct SinkEntry {
    bool found = false;
    std::string monitor;
    std::string description;
};

std::optional<SinkEntry> sinkByName(PulseLoop& loop, const std::string& name) {
    Query<SinkEntry> query;
    query.loop = loop.loop();
    pa_operation* operation = pa_context_get_sink_info_by_name(
        loop.context(), name.c_str(),
        [](pa_context*, const pa_sink_info* info, int eol, void* userdata) {
            auto* q = static_cast<Query<SinkEntry>*>(userdata);
            if (eol != 0 || info == nullptr) {
                q->done = true;
                pa_threaded_mainloop_signal(q->loop, 0);
                return;
            }
            q->answer.found = true;
            q->answer.monitor = info->monitor_source_name != nullptr ? info->monitor_source_name : "";
            q->answer.description = info->description != nullptr ? info->description : "";
        },
        &query);
    if (!finish(loop, operation, query.done)) {
        return std::nullopt;
    }
    return query.answer;
}

Error noAnswer() {
    return Error{ErrorKind::Io, "The sound server did not answer in time."};
}

} // namespace

std::vector<SoundDevice> PulseSoundDevices::inputs() {
    error_.clear();
    auto loop = PulseLoop::tryCreate("orvane-devices", kQueryTimeoutSeconds);
    if (!loop) {
        error_ = loop.error();
        return {};
    }
    PulseLoop::Lock lock(*loop.value());
    const auto defaults = serverDefaults(*loop.value());
    const auto all = sources(*loop.value());
    if (!defaults || !all) {
        error_ = noAnswer().message;
        return {};
    }
    std::vector<SoundDevice> result;
    for (const SourceEntry& entry : *all) {
        if (entry.monitor) {
            continue;
        }
        result.push_back(SoundDevice{QString::fromStdString(entry.name), QString::fromStdString(entry.description),
                                     entry.name == defaults->source});
    }
    return result;
}

Result<std::unique_ptr<SoundSource>> PulseSoundDevices::open(SoundKind kind, const QString& device) {
    auto loop = PulseLoop::tryCreate("orvane-devices", kQueryTimeoutSeconds);
    if (!loop) {
        return loop.errorValue();
    }
    std::string source;
    QString description;
    {
        PulseLoop::Lock lock(*loop.value());
        const auto defaults = serverDefaults(*loop.value());
        if (!defaults) {
            return noAnswer();
        }
        if (kind == SoundKind::Microphone) {
            source = device.isEmpty() ? defaults->source : device.toStdString();
            const auto all = sources(*loop.value());
            if (!all) {
                return noAnswer();
            }
            const auto it = std::find_if(all->begin(), all->end(),
                                         [&](const SourceEntry& entry) { return entry.name == source; });
            if (source.empty() || it == all->end()) {
                return Error{ErrorKind::NotFound, device.isEmpty()
                                                      ? std::string("There is no microphone.")
                                                      : "The microphone \"" + device.toStdString() + "\" is not there."};
            }
            description = QString::fromStdString(it->description);
        } else {
            const auto sink = defaults->sink.empty() ? std::optional<SinkEntry>(SinkEntry{})
                                                     : sinkByName(*loop.value(), defaults->sink);
            if (!sink) {
                return noAnswer();
            }
            if (!sink->found || sink->monitor.empty()) {
                return Error{ErrorKind::NotFound, "There is no sound output whose sound could be recorded."};
            }
            source = sink->monitor;
            description = QString::fromStdString(sink->description);
        }
    }
    // The query connection is closed before the source opens its own.
    loop.value().reset();
    auto opened = pulse::PulseSoundSource::tryCreate(kind, std::move(source), std::move(description));
    if (!opened) {
        return opened.errorValue();
    }
    return std::unique_ptr<SoundSource>(std::move(opened.value()));
}

} // namespace orvane
