#include <gselib/tompacket.h>

#include <stdexcept>

namespace GseLib {

TomPacket::TomPacket(const uint8_t* bytes, int length, int index, const TimeResolver* resolver)
    : TMPacket(bytes, length, index, resolver) {}

TomPacket::TomPacket(ByteVectorPtr bytes, int index, const TimeResolver* resolver)
    : TMPacket(std::move(bytes), index, resolver) {}

int TomPacket::type() const {
    return at(0) & 0x7F;
}
int TomPacket::fullType() const {
    return at(0);
}
int TomPacket::subType() const {
    return at(8);
}
int TomPacket::sequence() const {
    return at(1);
}

void TomPacket::incrementSequence() {
    throw std::logic_error("incrementSequence() not implemented");
}

int TomPacket::dataLength() const {
    return static_cast<int>(be16(2));
}
uint32_t TomPacket::rawTimestamp() const {
    return be32(4);
}

uint32_t TomPacket::checksum() const {
    const int n = totalLength();
    if (n < 4) {
        throw std::out_of_range("TomPacket: fewer than 4 bytes, no checksum");
    }
    return be32(static_cast<size_t>(n - 4));
}

void TomPacket::updateDataLength() {
    throw std::logic_error("updateDataLength() not implemented");
}

}  // namespace GseLib
