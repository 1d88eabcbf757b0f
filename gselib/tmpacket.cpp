#include <gselib/tmpacket.h>

#include <gselib/datainterpretation.h>
#include <gselib/timeresolver.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace GseLib {

TMPacket::TMPacket() = default;

TMPacket::TMPacket(const uint8_t* bytes, int length, int index, const TimeResolver* resolver)
    : index_(index), timeResolver_(resolver) {
    if (length < 0) {
        throw std::length_error("TMPacket: negative packet length");
    }
    bytes_ = std::make_shared<ByteVector>(bytes, bytes + length);
}

TMPacket::TMPacket(ByteVectorPtr bytes, int index, const TimeResolver* resolver)
    : bytes_(std::move(bytes)), index_(index), timeResolver_(resolver) {}

TMPacket::TMPacket(unsigned long size, int index)
    : bytes_(std::make_shared<ByteVector>(size, uint8_t{0})), index_(index) {}

TMPacket::~TMPacket() = default;

int TMPacket::totalLength() const {
    return bytes_ ? static_cast<int>(bytes_->size()) : 0;
}

int TMPacket::apid() const {
    return type();
}
int TMPacket::versionNumber() const {
    return 0;
}
int TMPacket::typeIndicator() const {
    return 0;
}
bool TMPacket::hasSecondaryHeader() const {
    return false;
}
int TMPacket::segmentFlags() const {
    return 3;
}

std::string TMPacket::typeName() const {
    if (!DataInterpretation::hasCurrent()) {
        return "Unknown packet";
    }
    return DataInterpretation::current()->packetTypes().info(type()).name.toStdString();
}

bool TMPacket::isGseCreated() const {
    if (!DataInterpretation::hasCurrent()) {
        return false;
    }
    const TMPacketTypeInfo* info = DataInterpretation::current()->packetTypes().find(fullType());
    return info && info->isGse;
}

void TMPacket::resize(unsigned long n) {
    if (!bytes_) {
        bytes_ = std::make_shared<ByteVector>();
    }
    bytes_->resize(n, 0);
    updateDataLength();
}

uint8_t TMPacket::at(size_t i) const {
    if (!bytes_) {
        throw std::out_of_range("TMPacket: packet has no bytes");
    }
    return bytes_->at(i);
}

uint32_t TMPacket::be16(size_t i) const {
    return (uint32_t(at(i)) << 8) | at(i + 1);
}

uint32_t TMPacket::be32(size_t i) const {
    return (be16(i) << 16) | be16(i + 2);
}

const TimeResolver& TMPacket::resolver() const {
    if (!timeResolver_) {
        throw std::logic_error("TMPacket: time requested of a packet without time resolver");
    }
    return *timeResolver_;
}

double TMPacket::unixTime() const {
    return resolver().unixTime(this);
}

double TMPacket::unixTimeFromTicks(long long ticks) const {
    return resolver().unixTime(this, ticks);
}

double TMPacket::unixTimeFromSeconds(double seconds) const {
    const TimeResolver& r = resolver();
    return r.unixTime(this, r.secondsToTicks(seconds));
}

double TMPacket::relativeTime() const {
    return resolver().relativeTime(this);
}

double TMPacket::relativeTimeFromTicks(long long ticks) const {
    return resolver().relativeTime(this, ticks);
}

std::string TMPacket::dataText() const {
    const size_t start = size_t(std::max(dataOffset(), 0));
    if (!bytes_ || bytes_->size() <= start) {
        return {};
    }
    const size_t length = std::min(size_t(std::max(dataLength(), 0)), bytes_->size() - start);
    const char* text = reinterpret_cast<const char*>(bytes_->data()) + start;
    return std::string(text, ::strnlen(text, length));
}

double TMPacket::relativeTimeFromSeconds(double seconds) const {
    const TimeResolver& r = resolver();
    return r.relativeTime(this, r.secondsToTicks(seconds));
}

double TMPacket::groundRelativeTime() const {
    return resolver().groundRelativeTime(this);
}

}  // namespace GseLib
