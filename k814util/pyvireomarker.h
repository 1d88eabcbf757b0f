#pragma once

#include <cstdint>
#include <string>

namespace VireoGse {
class Marker;
}

namespace k814util {

/**
 * @brief A copy of one VIREO test-marker interval, as scripts see it.
 */
class PyVireoMarker {
public:
    PyVireoMarker() = default;
    explicit PyVireoMarker(const VireoGse::Marker& marker);

    /// Start, Unix microseconds.
    int64_t t_start_us() const { return tStartUs_; }
    /// End, Unix microseconds; 0 while the marker is open.
    int64_t t_end_us() const { return tEndUs_; }
    int64_t marker_id() const { return markerId_; }
    int64_t marker_type() const { return markerType_; }
    std::string text() const { return text_; }
    bool is_complete() const { return complete_; }

private:
    int64_t tStartUs_ = 0;
    int64_t tEndUs_ = 0;
    int64_t markerId_ = 0;
    int64_t markerType_ = 0;
    std::string text_;
    bool complete_ = false;
};

}  // namespace k814util
