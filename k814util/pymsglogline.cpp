#include <k814util/pymsglogline.h>

#include <gselib/msglogcache.h>

#include <stdexcept>

namespace k814util {

PyMsgLogLine::PyMsgLogLine() = default;

PyMsgLogLine::PyMsgLogLine(const GseLib::MsgLogLine* line)
    : line_(line), generation_(GseLib::MsgLogCache::getInstance().generation()) {}

const GseLib::MsgLogLine* PyMsgLogLine::line() const {
    if (line_ && generation_ != GseLib::MsgLogCache::getInstance().generation()) {
        throw std::runtime_error(
            "This message-log line was forgotten when the log was reset; fetch it again.");
    }
    return line_;
}

double PyMsgLogLine::unixTime() const {
    const GseLib::MsgLogLine* l = line();
    return l ? l->unixTime() : 0.0;
}

double PyMsgLogLine::relativeTime() const {
    const GseLib::MsgLogLine* l = line();
    return l ? l->relativeTime() : 0.0;
}

std::string PyMsgLogLine::msg() const {
    const GseLib::MsgLogLine* l = line();
    return l ? l->msg().toStdString() : std::string();
}

}  // namespace k814util
