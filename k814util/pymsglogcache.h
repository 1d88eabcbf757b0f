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
    /// The binding generation the object was made in: the log it reads is the process's, and
    /// the package's sequence methods refuse to answer with a later binding's lines.
    long long _binding_generation() const { return bindingGeneration_; }

private:
    GseLib::MsgLogCache* cache_;
    long long bindingGeneration_ = 0;
};

}  // namespace k814util
