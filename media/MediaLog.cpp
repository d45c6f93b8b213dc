#include "MediaLog.h"

extern "C" {
#include <libavutil/log.h>
}

namespace orvane::media {

void quietMediaLog() {
    av_log_set_level(AV_LOG_FATAL);
}

} // namespace orvane::media
