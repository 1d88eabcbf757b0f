#pragma once

#include <gselib/tmpacket.h>

#include <cstdint>

namespace GseLib {

/**
 * @brief View of the 6-byte CCSDS primary header at the start of a shared byte vector.
 *
 * Writes go straight into the shared vector, so a header bound to a packet edits the packet.
 * Accessors read bytes 0-5 with bounds checks.
 */
class CcsdsPrimaryHeader {
public:
    enum PacketType { Telemetry = 0, Telecommand = 1 };
    enum SegmentFlags { Continuation = 0, First = 1, Last = 2, Unsegmented = 3 };

    /// An invalid header (no bytes).
    CcsdsPrimaryHeader() = default;
    /// A view over bytes: no copy.
    explicit CcsdsPrimaryHeader(ByteVectorPtr bytes);
    /// A fresh 6-byte header with every field set.
    CcsdsPrimaryHeader(int apid, int version, PacketType type, bool hasSecHeader,
                       SegmentFlags flags, int sequenceCount, int dataLength);
    /// A fresh 6-byte header with every field set (the other argument order).
    CcsdsPrimaryHeader(int apid, int dataLength, int sequenceCount, bool hasSecHeader,
                       SegmentFlags flags, PacketType type, int version);

    bool isValid() const { return bytes_ != nullptr; }
    /// At least 6 bytes, version 0 and telemetry type (byte 0 at most 15) and a non-zero APID.
    bool isValidTelemetryHeader() const;

    int versionNumber() const;
    void setVersionNumber(int version);
    PacketType packetType() const;
    void setPacketType(PacketType type);
    bool hasSecHeader() const;
    void setHasSecHeader(bool has);
    int apid() const;
    void setApid(int apid);
    SegmentFlags segmentFlags() const;
    void setSegmentFlags(SegmentFlags flags);
    int sequenceCount() const;
    void setSequenceCount(int count);
    /// Adds 1 to the 14-bit count, 16383 wrapping to 0; the segment flags stay.
    void incrementSequenceCount();
    /// Bytes after the primary header: the length field + 1.
    int dataLength() const;
    /// Stores n - 1 in the length field.
    void setDataLength(int n);

    /// The six header bytes.
    ByteVector toByteArray() const;
    const ByteVectorPtr& bytes() const { return bytes_; }

private:
    uint8_t& byte(size_t i);
    uint8_t byte(size_t i) const;

    ByteVectorPtr bytes_;
};

}  // namespace GseLib
