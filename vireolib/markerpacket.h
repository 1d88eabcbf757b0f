#pragma once

#include <gselib/ccsdspacket.h>

#include <QByteArray>
#include <cstdint>

namespace VireoGse {

/**
 * @brief A VIREO test-marker packet (APID 743): marker id, marker type and a zero-ended text.
 *
 * Counting from the data offset, bytes 6-9 hold the marker id and 10-13 the marker type (both
 * big-endian); the text starts at byte 14 and ends at the first zero byte or the packet's end.
 */
class MarkerPacket : public GseLib::CcsdsPacket {
public:
    static constexpr int APID = 743;
    static constexpr int DEFAULT_LENGTH = 78;

    /// A zeroed 78-byte marker packet with a secondary header.
    MarkerPacket();
    /// Shares packet's bytes, index and clock.
    explicit MarkerPacket(const GseLib::TMPacket& packet);

    /// @throw std::out_of_range when the packet is too short to hold the field
    uint32_t markerId() const;
    /// @throw std::out_of_range when the packet is too short to hold the field
    uint32_t markerType() const;
    /// The text up to its zero byte; empty when the packet ends before the text.
    QByteArray text() const;

    /// @throw std::out_of_range when the packet is too short to hold the field
    void setMarkerId(uint32_t id);
    /// @throw std::out_of_range when the packet is too short to hold the field
    void setMarkerType(uint32_t type);
    /// Writes text and its zero byte, lengthening the packet when the text needs the room.
    void setText(const QByteArray& text);

private:
    void setBe32(size_t at, uint32_t value);
    size_t textOffset() const { return size_t(dataOffset()) + 14; }
};

}  // namespace VireoGse
