#pragma once

#include <gselib/tmpacket.h>

#include <cstddef>
#include <cstdint>

namespace TarGse {

/**
 * @brief Bounded big-endian reads of a packet's bytes, counted from the packet's first byte or
 * from its data field.
 *
 * TARN packets are read with fixed offsets that a short or damaged packet may not reach; a byte
 * past the packet's end reads as 0, so no decoder ever reads outside the byte vector.
 */
class DataFieldReader {
public:
    explicit DataFieldReader(const GseLib::TMPacket& packet)
        : bytes_(packet.data()),
          size_(packet.bytes() ? packet.bytes()->size() : 0),
          dataOffset_(size_t(packet.dataOffset())) {}

    size_t size() const { return size_; }
    size_t dataOffset() const { return dataOffset_; }

    /// Packet byte n (counted from the header's first byte).
    uint8_t packetByte(size_t n) const { return n < size_ ? bytes_[n] : 0; }
    /// Data byte n (counted from the data field).
    uint8_t byte(size_t n) const { return packetByte(dataOffset_ + n); }
    /// Big-endian 16-bit value at data bytes n, n + 1.
    uint16_t be16(size_t n) const { return uint16_t((byte(n) << 8) | byte(n + 1)); }
    /// Big-endian 32-bit value at data bytes n to n + 3.
    uint32_t be32(size_t n) const {
        return (uint32_t(byte(n)) << 24) | (uint32_t(byte(n + 1)) << 16) |
               (uint32_t(byte(n + 2)) << 8) | uint32_t(byte(n + 3));
    }
    /// Whether data bytes [n, n + count) all lie inside the packet.
    bool has(size_t n, size_t count) const {
        return dataOffset_ + n <= size_ && count <= size_ - (dataOffset_ + n);
    }
    /// The packet's bytes from data byte n on; only valid where has(n, count).
    const uint8_t* at(size_t n) const { return bytes_ + dataOffset_ + n; }

private:
    const uint8_t* bytes_;
    size_t size_;
    size_t dataOffset_;
};

}  // namespace TarGse
