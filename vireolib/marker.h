#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace VireoGse {

class MarkerPacket;

/**
 * @brief One VIREO test-marker interval: opened by a marker packet, closed by a later one.
 *
 * Times are Unix microseconds; the end is 0 while the interval is open.
 */
class Marker {
public:
    Marker() = default;
    /// An open interval starting at the packet's Unix time.
    explicit Marker(const MarkerPacket& packet);

    uint32_t markerId() const { return markerId_; }
    uint32_t markerType() const { return markerType_; }
    int64_t startTimeUnixMicroSecs() const { return start_; }
    int64_t endTimeUnixMicroSecs() const { return end_; }
    QByteArray text() const { return text_; }

    double startTimeUnixSecs() const { return double(start_) / 1e6; }
    double endTimeUnixSecs() const { return double(end_) / 1e6; }
    /// End - start; 0 while open.
    int64_t durationMicroSecs() const { return isComplete() ? end_ - start_ : 0; }
    double durationSecs() const { return double(durationMicroSecs()) / 1e6; }
    bool isComplete() const { return end_ != 0; }
    /// "lbl=<text> id=<id>:<type> start=<s> end=<s> dur=<s>s".
    QString toNiceString() const;

    /**
     * Ends the interval at unixTime (seconds). Refused, with a logged message, when that would
     * not be after the start: the interval then stays open-ended.
     * @return whether the end was set
     */
    bool close(double unixTime);

private:
    uint32_t markerId_ = 0;
    uint32_t markerType_ = 0;
    int64_t start_ = 0;
    int64_t end_ = 0;
    QByteArray text_;
};

}  // namespace VireoGse
