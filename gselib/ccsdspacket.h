#pragma once

#include <gselib/ccsdsprimaryheader.h>
#include <gselib/tmpacket.h>

namespace GseLib {

/**
 * @brief A CCSDS space packet: 6-byte primary header, then the data field.
 *
 * The data field is taken to start with the secondary header, whatever the flag says: bytes 6-9
 * whole seconds and bytes 10-11 the fraction in 1/65536 s. `dataOffset()` is 6, so the
 * interpretation engine sees the secondary header as part of the data.
 */
class CcsdsPacket : public TMPacket {
public:
    using SegmentFlags = CcsdsPrimaryHeader::SegmentFlags;

    CcsdsPacket();
    CcsdsPacket(const uint8_t* bytes, int length, int index, const TimeResolver* resolver);
    CcsdsPacket(ByteVectorPtr bytes, int index, const TimeResolver* resolver);
    /**
     * Builds a zeroed packet of totalSize bytes with APID, flags and the length field set.
     * @throw std::length_error when totalSize cannot hold a primary header
     */
    CcsdsPacket(unsigned long totalSize, int apid, bool hasSecondaryHeader, SegmentFlags flags,
                int index);

    int dataOffset() const override { return 6; }
    int headerSize() const override { return 6; }
    int type() const override;
    int fullType() const override;
    int subType() const override { return 0; }
    int sequence() const override;
    void incrementSequence() override;
    int dataLength() const override;
    /// Bytes 6-9; 0 for a packet too short to hold them.
    uint32_t rawTimestamp() const override;
    /// Bytes 10-11 in milliseconds; 0.0 for a packet too short to hold them.
    double rawTimestampMs() const override;
    uint32_t checksum() const override { return 0; }
    int versionNumber() const override;
    int typeIndicator() const override;
    bool hasSecondaryHeader() const override;
    int segmentFlags() const override;
    void updateDataLength() override;

    CcsdsPrimaryHeader& header() { return header_; }
    const CcsdsPrimaryHeader& header() const { return header_; }

private:
    CcsdsPrimaryHeader header_;
};

}  // namespace GseLib
