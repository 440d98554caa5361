#include "posdll/connection_reasons.h"

#include "posdll/fd.h"
#include "posdll/posdll.h"

#include <cerrno>

namespace posdll {

int errorKindOf(int err) {
    switch (err) {
    case ECONNREFUSED:
        return POS_ERR_REFUSED;
    case ETIMEDOUT:
        return POS_ERR_TIMEOUT;
    case EHOSTUNREACH:
    case ENETUNREACH:
        return POS_ERR_UNREACHABLE;
    case ECONNRESET:
    case ECONNABORTED:
        return POS_ERR_RESET;
    case EPIPE:
    case ENOTCONN:
        return POS_ERR_CLOSED;
    case EBUSY:
    case EWOULDBLOCK:
        return POS_ERR_BUSY;
    case EACCES:
    case EPERM:
    case EROFS:
        return POS_ERR_DENIED;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return POS_ERR_MISSING;
    case ENOTTY:
    case EISDIR:
        return POS_ERR_NOT_DEVICE;
    case EMFILE:
    case ENFILE:
        return POS_ERR_NO_DESCRIPTORS;
    default:
        return POS_ERR_INTERNAL;
    }
}

std::string connectionReasonOf(int err) {
    switch (err) {
    case ECONNREFUSED:
        return "connection refused";
    case ECONNRESET:
        return "the printer reset the connection";
    case EPIPE:
        return "the printer closed the connection (broken pipe)";
    default:
        return errnoText(err);
    }
}

std::string noAnswerReason(int err) {
    if (err == 0)
        return "the printer closed the connection without answering";
    return connectionReasonOf(err) + " while waiting for an answer";
}

} // namespace posdll
