#include <gselib/ccsdsprimaryheader.h>

#include <stdexcept>

namespace GseLib {

CcsdsPrimaryHeader::CcsdsPrimaryHeader(ByteVectorPtr bytes) : bytes_(std::move(bytes)) {}

CcsdsPrimaryHeader::CcsdsPrimaryHeader(int apid, int version, PacketType type, bool hasSecHeader,
                                       SegmentFlags flags, int sequenceCount, int dataLength)
    : bytes_(std::make_shared<ByteVector>(6, uint8_t{0})) {
    setVersionNumber(version);
    setPacketType(type);
    setHasSecHeader(hasSecHeader);
    setApid(apid);
    setSegmentFlags(flags);
    setSequenceCount(sequenceCount);
    setDataLength(dataLength);
}

CcsdsPrimaryHeader::CcsdsPrimaryHeader(int apid, int dataLength, int sequenceCount,
                                       bool hasSecHeader, SegmentFlags flags, PacketType type,
                                       int version)
    : CcsdsPrimaryHeader(apid, version, type, hasSecHeader, flags, sequenceCount, dataLength) {}

uint8_t& CcsdsPrimaryHeader::byte(size_t i) {
    if (!bytes_) {
        throw std::out_of_range("CcsdsPrimaryHeader: invalid header");
    }
    return bytes_->at(i);
}

uint8_t CcsdsPrimaryHeader::byte(size_t i) const {
    if (!bytes_) {
        throw std::out_of_range("CcsdsPrimaryHeader: invalid header");
    }
    return bytes_->at(i);
}

bool CcsdsPrimaryHeader::isValidTelemetryHeader() const {
    return bytes_ && bytes_->size() >= 6 && (*bytes_)[0] <= 15 && apid() != 0;
}

int CcsdsPrimaryHeader::versionNumber() const {
    return byte(0) >> 5;
}

void CcsdsPrimaryHeader::setVersionNumber(int version) {
    byte(0) = uint8_t((byte(0) & 0x1F) | ((version & 0x7) << 5));
}

CcsdsPrimaryHeader::PacketType CcsdsPrimaryHeader::packetType() const {
    return PacketType((byte(0) >> 4) & 0x1);
}

void CcsdsPrimaryHeader::setPacketType(PacketType type) {
    byte(0) = uint8_t((byte(0) & ~0x10) | ((int(type) & 0x1) << 4));
}

bool CcsdsPrimaryHeader::hasSecHeader() const {
    return (byte(0) & 0x08) != 0;
}

void CcsdsPrimaryHeader::setHasSecHeader(bool has) {
    byte(0) = uint8_t((byte(0) & ~0x08) | (has ? 0x08 : 0x00));
}

int CcsdsPrimaryHeader::apid() const {
    return ((byte(0) & 0x07) << 8) | byte(1);
}

void CcsdsPrimaryHeader::setApid(int apid) {
    byte(0) = uint8_t((byte(0) & 0xF8) | ((apid >> 8) & 0x07));
    byte(1) = uint8_t(apid & 0xFF);
}

CcsdsPrimaryHeader::SegmentFlags CcsdsPrimaryHeader::segmentFlags() const {
    return SegmentFlags(byte(2) >> 6);
}

void CcsdsPrimaryHeader::setSegmentFlags(SegmentFlags flags) {
    byte(2) = uint8_t((byte(2) & 0x3F) | ((int(flags) & 0x3) << 6));
}

int CcsdsPrimaryHeader::sequenceCount() const {
    return ((byte(2) & 0x3F) << 8) | byte(3);
}

void CcsdsPrimaryHeader::setSequenceCount(int count) {
    byte(2) = uint8_t((byte(2) & 0xC0) | ((count >> 8) & 0x3F));
    byte(3) = uint8_t(count & 0xFF);
}

void CcsdsPrimaryHeader::incrementSequenceCount() {
    setSequenceCount((sequenceCount() + 1) & 0x3FFF);
}

int CcsdsPrimaryHeader::dataLength() const {
    return ((byte(4) << 8) | byte(5)) + 1;
}

void CcsdsPrimaryHeader::setDataLength(int n) {
    const int field = n - 1;
    byte(4) = uint8_t((field >> 8) & 0xFF);
    byte(5) = uint8_t(field & 0xFF);
}

ByteVector CcsdsPrimaryHeader::toByteArray() const {
    if (!bytes_ || bytes_->size() < 6) {
        throw std::out_of_range("CcsdsPrimaryHeader: fewer than 6 header bytes");
    }
    return ByteVector(bytes_->begin(), bytes_->begin() + 6);
}

}  // namespace GseLib
