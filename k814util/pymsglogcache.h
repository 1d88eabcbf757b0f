#pragma once

#include <k814util/pymsglogline.h>

namespace GseLib {
class MsgLogCache;
}

namespace k814util {

/**
 * @brief The message log of the bound telemetry file, as scripts see it.
 *
 * Each new object reads the packets the process-wide log has not read yet, so it shows what the
 * shared packet cache gained since the previous one.
 */
class PyMsgLogCache {
public:
    PyMsgLogCache();

    unsigned int size() const;
    /// @throw std::out_of_range for an index not below size()
    PyMsgLogLine get(unsigned int index) const;

private:
    GseLib::MsgLogCache* cache_;
};

}  // namespace k814util
