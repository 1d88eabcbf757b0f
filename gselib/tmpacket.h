#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace GseLib {

class TimeResolver;

using ByteVector = std::vector<uint8_t>;
using ByteVectorPtr = std::shared_ptr<ByteVector>;

/**
 * @brief One telemetry packet: a typed view over a reference-counted byte vector.
 *
 * The bytes are the whole packet exactly as stored in the file, header first. Header fields are
 * computed from the bytes on every call and never cached, so header setters of the layouts that
 * support them are seen at once. Concrete layouts: `CcsdsPacket` and `TomPacket`.
 */
class TMPacket : public std::enable_shared_from_this<TMPacket> {
public:
    /// No bytes, index -1, no resolver, no ground time.
    TMPacket();
    /**
     * Copies length bytes into a new vector.
     * @throw std::length_error when length is negative
     */
    TMPacket(const uint8_t* bytes, int length, int index, const TimeResolver* resolver);
    /// Shares the given vector: no copy.
    TMPacket(ByteVectorPtr bytes, int index, const TimeResolver* resolver);
    /**
     * A new vector of size zero bytes, without resolver.
     * @throw std::length_error when size is beyond what a vector holds (a negative size cast)
     */
    TMPacket(unsigned long size, int index);
    virtual ~TMPacket();

    TMPacket(const TMPacket&) = delete;
    TMPacket& operator=(const TMPacket&) = delete;

    virtual int dataOffset() const = 0;
    virtual int headerSize() const = 0;
    virtual int type() const = 0;
    virtual int fullType() const = 0;
    virtual int subType() const = 0;
    virtual int sequence() const = 0;
    virtual void incrementSequence() = 0;
    virtual int dataLength() const = 0;
    /// Number of bytes in the byte vector (0 without one).
    virtual int totalLength() const;
    virtual uint32_t rawTimestamp() const = 0;
    virtual double rawTimestampMs() const = 0;
    virtual uint32_t checksum() const = 0;
    virtual int apid() const;
    virtual int versionNumber() const;
    virtual int typeIndicator() const;
    virtual bool hasSecondaryHeader() const;
    virtual int segmentFlags() const;
    virtual void updateDataLength() = 0;

    /// Name of the catalogue entry for type(); "Unknown packet" without one (or without engine).
    std::string typeName() const;
    /// The catalogue's ground-made flag for fullType(); false without entry (or engine).
    bool isGseCreated() const;

    /// Sets the vector to exactly n bytes (new bytes zero), then rewrites the length field.
    void resize(unsigned long n);

    double unixTime() const;
    double unixTimeFromTicks(long long ticks) const;
    double unixTimeFromSeconds(double seconds) const;
    double relativeTime() const;
    double relativeTimeFromTicks(long long ticks) const;
    double relativeTimeFromSeconds(double seconds) const;
    double groundRelativeTime() const;

    const ByteVectorPtr& bytes() const { return bytes_; }
    /// The data field as text: up to its first zero byte, or all dataLength() bytes.
    std::string dataText() const;
    const uint8_t* data() const { return bytes_ ? bytes_->data() : nullptr; }
    int index() const { return index_; }
    void setIndex(int index) { index_ = index; }
    const TimeResolver* timeResolver() const { return timeResolver_; }
    void setTimeResolver(const TimeResolver* resolver) { timeResolver_ = resolver; }
    uint32_t groundSeconds() const { return groundSeconds_; }
    void setGroundSeconds(uint32_t seconds) { groundSeconds_ = seconds; }
    double groundMilliseconds() const { return groundMilliseconds_; }
    void setGroundMilliseconds(double ms) { groundMilliseconds_ = ms; }

protected:
    /// Byte i, bounds-checked.
    uint8_t at(size_t i) const;
    /// Big-endian 16-bit value at byte i, bounds-checked.
    uint32_t be16(size_t i) const;
    /// Big-endian 32-bit value at byte i, bounds-checked.
    uint32_t be32(size_t i) const;

    ByteVectorPtr bytes_;

private:
    const TimeResolver& resolver() const;

    int index_ = -1;
    const TimeResolver* timeResolver_ = nullptr;
    uint32_t groundSeconds_ = 0;
    double groundMilliseconds_ = 0.0;
};

using TMPacketPtr = std::shared_ptr<TMPacket>;

}  // namespace GseLib
