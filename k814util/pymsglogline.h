#pragma once

#include <cstdint>
#include <string>

namespace GseLib {
class MsgLogLine;
}

namespace k814util {

/**
 * @brief One line of the message log, as scripts see it.
 *
 * Points into the process-wide message log and owns nothing. The log can forget its lines (when
 * the process is bound to another file); a line object from before then refuses to answer
 * rather than read freed memory.
 */
class PyMsgLogLine {
public:
    PyMsgLogLine();
    explicit PyMsgLogLine(const GseLib::MsgLogLine* line);

    /// @throw std::runtime_error when the message log no longer holds the line
    double unixTime() const;
    /// @throw std::runtime_error when the message log no longer holds the line
    double relativeTime() const;
    /// The text without its own time stamp, UTF-8.
    /// @throw std::runtime_error when the message log no longer holds the line
    std::string msg() const;

private:
    const GseLib::MsgLogLine* line() const;

    const GseLib::MsgLogLine* line_ = nullptr;
    uint64_t generation_ = 0;
};

}  // namespace k814util
