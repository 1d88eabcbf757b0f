#include <gselib/ccsdspacket.h>

#include <stdexcept>

namespace GseLib {

CcsdsPacket::CcsdsPacket() = default;

CcsdsPacket::CcsdsPacket(const uint8_t* bytes, int length, int index, const TimeResolver* resolver)
    : TMPacket(bytes, length, index, resolver), header_(bytes_) {}

CcsdsPacket::CcsdsPacket(ByteVectorPtr bytes, int index, const TimeResolver* resolver)
    : TMPacket(std::move(bytes), index, resolver), header_(bytes_) {}

CcsdsPacket::CcsdsPacket(unsigned long totalSize, int apid, bool hasSecondaryHeader,
                         SegmentFlags flags, int index)
    : TMPacket(totalSize, index) {
    if (totalSize < 6) {
        throw std::length_error("CcsdsPacket: a packet needs at least the 6 header bytes");
    }
    header_ = CcsdsPrimaryHeader(bytes_);
    header_.setApid(apid);
    header_.setHasSecHeader(hasSecondaryHeader);
    header_.setSegmentFlags(flags);
    updateDataLength();
}

int CcsdsPacket::type() const {
    return header_.apid();
}
int CcsdsPacket::fullType() const {
    return header_.apid();
}
int CcsdsPacket::sequence() const {
    return header_.sequenceCount();
}
void CcsdsPacket::incrementSequence() {
    header_.incrementSequenceCount();
}
int CcsdsPacket::dataLength() const {
    return header_.dataLength();
}
// A packet may legally end before its secondary header (a zero length field makes 7 bytes):
// it carries no timestamp, which reads as 0 rather than failing every time it is asked.
uint32_t CcsdsPacket::rawTimestamp() const {
    return totalLength() >= 10 ? be32(6) : 0u;
}

double CcsdsPacket::rawTimestampMs() const {
    return totalLength() >= 12 ? be16(10) * (1.0 / 65536.0) * 1000.0 : 0.0;
}

int CcsdsPacket::versionNumber() const {
    return header_.versionNumber();
}
int CcsdsPacket::typeIndicator() const {
    return header_.packetType();
}
bool CcsdsPacket::hasSecondaryHeader() const {
    return header_.hasSecHeader();
}
int CcsdsPacket::segmentFlags() const {
    return header_.segmentFlags();
}

void CcsdsPacket::updateDataLength() {
    header_.setDataLength(totalLength() - 6);
}

}  // namespace GseLib
