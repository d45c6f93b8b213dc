#include "AvHandles.h"

namespace orvane::av {

std::string errorText(int code) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buf, sizeof buf);
    return buf;
}

ErrorKind errorKind(int code) {
    switch (code) {
    case AVERROR_INVALIDDATA:
    case AVERROR_EOF:
        return ErrorKind::Corrupt;
    case AVERROR_DECODER_NOT_FOUND:
    case AVERROR_ENCODER_NOT_FOUND:
    case AVERROR_DEMUXER_NOT_FOUND:
    case AVERROR_MUXER_NOT_FOUND:
    case AVERROR_PROTOCOL_NOT_FOUND:
    case AVERROR_OPTION_NOT_FOUND:
    case AVERROR_PATCHWELCOME:
        return ErrorKind::Unsupported;
    case AVERROR_EXIT:
        return ErrorKind::Cancelled;
    default:
        break;
    }
    // AVERROR(e) is -e for the errno values.
    if (code < 0 && code > -4096) {
        return errorKindFromErrno(-code);
    }
    return ErrorKind::Io;
}

Error error(int code, const std::string& what) {
    return Error{errorKind(code), what + ": " + errorText(code)};
}

} // namespace orvane::av
