#include <vireolib/markerpacket.h>

#include <stdexcept>

namespace VireoGse {

MarkerPacket::MarkerPacket()
    : GseLib::CcsdsPacket(DEFAULT_LENGTH, APID, true, SegmentFlags::Unsegmented, 0) {}

MarkerPacket::MarkerPacket(const GseLib::TMPacket& packet)
    : GseLib::CcsdsPacket(packet.bytes(), packet.index(), packet.timeResolver()) {
    setGroundSeconds(packet.groundSeconds());
    setGroundMilliseconds(packet.groundMilliseconds());
}

uint32_t MarkerPacket::markerId() const {
    return be32(size_t(dataOffset()) + 6);
}

uint32_t MarkerPacket::markerType() const {
    return be32(size_t(dataOffset()) + 10);
}

QByteArray MarkerPacket::text() const {
    const size_t start = textOffset();
    if (!bytes_ || bytes_->size() <= start) {
        return {};
    }
    const char* first = reinterpret_cast<const char*>(bytes_->data()) + start;
    const size_t room = bytes_->size() - start;
    return QByteArray(first, qsizetype(qstrnlen(first, room)));
}

void MarkerPacket::setBe32(size_t at, uint32_t value) {
    if (!bytes_ || bytes_->size() < at + 4) {
        throw std::out_of_range("MarkerPacket: packet too short for a 4-byte field at " +
                                std::to_string(at));
    }
    for (size_t i = 0; i < 4; ++i) {
        (*bytes_)[at + i] = uint8_t(value >> (24 - 8 * i));
    }
}

void MarkerPacket::setMarkerId(uint32_t id) {
    setBe32(size_t(dataOffset()) + 6, id);
}

void MarkerPacket::setMarkerType(uint32_t type) {
    setBe32(size_t(dataOffset()) + 10, type);
}

void MarkerPacket::setText(const QByteArray& text) {
    const size_t start = textOffset();
    const size_t needed = start + size_t(text.size()) + 1;
    if (bytes_->size() < needed) {
        bytes_->resize(needed, 0);
        updateDataLength();
    }
    std::copy(text.begin(), text.end(), bytes_->begin() + std::ptrdiff_t(start));
    std::fill(bytes_->begin() + std::ptrdiff_t(start) + text.size(), bytes_->end(), uint8_t(0));
}

}  // namespace VireoGse
