#include "Result.h"

#include <cerrno>

namespace orvane {

const char* errorKindName(ErrorKind kind) {
    switch (kind) {
    case ErrorKind::NotFound: return "not found";
    case ErrorKind::Permission: return "permission";
    case ErrorKind::NoSpace: return "no space";
    case ErrorKind::Corrupt: return "corrupt";
    case ErrorKind::Unsupported: return "unsupported";
    case ErrorKind::Cancelled: return "cancelled";
    case ErrorKind::Invalid: return "invalid";
    case ErrorKind::Io: return "I/O";
    }
    return "I/O";
}

ErrorKind errorKindFromErrno(int errnoValue) {
    switch (errnoValue) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
        return ErrorKind::NotFound;
    case EACCES:
    case EPERM:
    case EROFS:
        return ErrorKind::Permission;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return ErrorKind::NoSpace;
    case EINVAL:
    case EISDIR:
    case ENOTDIR:
    case ENAMETOOLONG:
        return ErrorKind::Invalid;
    case ENOSYS:
    case ENOTSUP:
        return ErrorKind::Unsupported;
    case ECANCELED:
        return ErrorKind::Cancelled;
    default:
        return ErrorKind::Io;
    }
}

} // namespace orvane
