#pragma once

#include <gselib/tmpacket.h>

namespace GseLib {

/**
 * @brief A TOM packet: 8-byte header, data, 4-byte checksum.
 *
 * Byte 0 is the full type (bit 7 marks packets made by ground equipment), byte 1 the sequence
 * count, bytes 2-3 the data length, bytes 4-7 the timestamp in 100-microsecond ticks; byte 8, the
 * first data byte, doubles as the subtype. Accessors are bounds-checked, so a short packet raises
 * std::out_of_range instead of reading past its bytes.
 */
class TomPacket : public TMPacket {
public:
    TomPacket(const uint8_t* bytes, int length, int index, const TimeResolver* resolver);
    TomPacket(ByteVectorPtr bytes, int index, const TimeResolver* resolver);

    int dataOffset() const override { return 8; }
    int headerSize() const override { return 8; }
    int type() const override;
    int fullType() const override;
    int subType() const override;
    int sequence() const override;
    /// @throw std::logic_error always: TOM sequence counts are never rewritten
    void incrementSequence() override;
    int dataLength() const override;
    uint32_t rawTimestamp() const override;
    double rawTimestampMs() const override { return 0.0; }
    uint32_t checksum() const override;
    /// @throw std::logic_error always: TOM packets are never rebuilt, so resize() is refused too
    void updateDataLength() override;
};

}  // namespace GseLib
