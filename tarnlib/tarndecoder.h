#pragma once

// What every TARN custom decoder shares: the row's bit definition (FieldSpec), bounded reads of
// a packet's data field (DataField), the decoder base with its out-of-bounds report
// (TarnDecoder), and the sample reductions (EarliestExtreme, RunningStats).

#include <gselib/dataitem.h>
#include <gselib/decoder.h>

#include <cstdint>
#include <span>
#include <string>

namespace GseLib {
class DataInterpretation;
class TmDatabaseRow;
}  // namespace GseLib

namespace TarGse::TarDataInterpretationImpl {

/**
 * @brief A row's bit definition as the TARN custom decoders read it: byte offset within the
 * data field, byte count, mask and shift.
 *
 * A zero mask keeps every bit, as it does for the generic integer decoders; the shift moves
 * right when not negative and left by its magnitude otherwise (taken modulo 64).
 */
struct FieldSpec {
    uint64_t offset = 0;
    uint64_t length = 0;
    uint64_t mask = 0;
    int32_t shift = 0;

    /// decode_id[0] to decode_id[3] of row.
    static FieldSpec of(const GseLib::TmDatabaseRow& row);
    /// The same definition moved to another data-field offset.
    FieldSpec at(uint64_t newOffset) const {
        FieldSpec s = *this;
        s.offset = newOffset;
        return s;
    }
    /// The masked and shifted value of raw bytes already assembled.
    uint64_t apply(uint64_t raw) const;
};

/**
 * @brief Bounded reads of a packet's data field.
 *
 * The usable data length is the header's data length cut to the bytes actually present, so a
 * truncated packet never makes a decoder read outside its byte vector.
 */
class DataField {
public:
    explicit DataField(const GseLib::TMPacket& packet);
    explicit DataField(std::span<const uint8_t> bytes)
        : data_(bytes.data()), length_(bytes.size()) {}

    /// The readable data bytes.
    std::span<const uint8_t> bytes() const { return {data_, size_t(length_)}; }

    /// Data bytes that may be read.
    uint64_t length() const { return length_; }
    /// Whether data bytes [offset, offset + count) lie inside the data field (overflow-safe).
    bool fits(uint64_t offset, uint64_t count) const {
        return offset <= length_ && count <= length_ - offset;
    }
    /// Data byte n, 0 beyond the data field.
    uint8_t byte(uint64_t n) const { return n < length_ ? data_[n] : 0; }
    uint16_t be16(uint64_t n) const { return uint16_t((byte(n) << 8) | byte(n + 1)); }
    uint16_t le16(uint64_t n) const { return uint16_t(byte(n) | (byte(n + 1) << 8)); }
    uint32_t be32(uint64_t n) const { return (uint32_t(be16(n)) << 16) | be16(n + 2); }
    /// The field's bytes (big-endian, or little-endian), masked and shifted; the caller checks
    /// fits() first. Fields wider than 8 bytes keep their last 8 (big-endian) or first 8 bytes.
    uint64_t read(const FieldSpec& spec, bool littleEndian = false) const;
    /// The field's bytes as a 32-bit IEEE float (its low 32 bits after mask and shift).
    float readFloat(const FieldSpec& spec) const;

    /// The packet the field belongs to; null for bytes alone.
    const GseLib::TMPacket* packet() const { return packet_; }

private:
    const uint8_t* data_ = nullptr;
    uint64_t length_ = 0;
    const GseLib::TMPacket* packet_ = nullptr;
};

/**
 * The value of database item id in data as the item's own row decodes it: its generic decoder
 * and bit definition (offsets as binding left them, its byte order), whatever the packet's type.
 * Without the packet (bytes alone) the row's DECODE_ID1 to DECODE_ID4 are read from the data
 * field, big-endian. False when the engine has no such row, or the field lies past the data.
 * where, when given, receives the field's packet byte offset and byte count.
 */
bool itemValue(const GseLib::DataInterpretation* engine, uint64_t id, const DataField& data,
               uint64_t& value, GseLib::DataItem* where = nullptr);

/**
 * @brief Common ground of the TARN custom decoders: type number, name and the out-of-bounds
 * report.
 */
class TarnDecoder : public GseLib::Decoder {
public:
    /// The lowest decoder type of the TARN custom decoders.
    static constexpr unsigned FIRST_TYPE = 203;

    TarnDecoder(int type, const char* name) : type_(type), name_(name) {}
    int type() const override { return type_; }
    QString name() const override { return QString::fromLatin1(name_); }

    /// The decode operation's signature as the out-of-bounds line names it.
    std::string signature() const;

protected:
    /// Prints to standard output the one line that tells a field past the data length.
    void reportOutOfBounds(const GseLib::TmDatabaseRow& row, uint64_t offset, uint64_t count,
                           uint64_t dataLength) const;

private:
    int type_;
    const char* name_;
};

/**
 * @brief The earliest extreme of a stream of values: a later value takes the place only when
 * strictly smaller (lowest) or strictly larger (highest), so the first of equals stays.
 */
template <class Value>
class EarliestExtreme {
public:
    explicit EarliestExtreme(bool highest) : highest_(highest) {}
    /// Whether value became the extreme (the first offered always does).
    bool offer(const Value& value) {
        if (seen_ && !(highest_ ? value > best_ : value < best_)) {
            return false;
        }
        best_ = value;
        seen_ = true;
        return true;
    }
    bool seen() const { return seen_; }
    const Value& best() const { return best_; }

private:
    bool highest_;
    bool seen_ = false;
    Value best_{};
};

/**
 * @brief Count, mean and population standard deviation of a stream of values, in one pass.
 *
 * The mean is the arithmetic mean, the sum in sample order over the count, so it is the value
 * the definition gives to the last bit; the squared differences accumulate with Welford's
 * update, which stays accurate where sums of squares would cancel.
 */
class RunningStats {
public:
    void add(double x) {
        ++count_;
        sum_ += x;
        const double d = x - running_;
        running_ += d / double(count_);
        m2_ += d * (x - running_);
    }
    uint64_t count() const { return count_; }
    double mean() const { return count_ ? sum_ / double(count_) : 0.0; }
    double populationStdDev() const;

private:
    uint64_t count_ = 0;
    double sum_ = 0.0;
    double running_ = 0.0;
    double m2_ = 0.0;
};

/// Offset of data-field byte n within the packet, as items report it.
inline uint32_t packetOffset(uint64_t n) {
    return static_cast<uint32_t>(n + 8);
}

}  // namespace TarGse::TarDataInterpretationImpl
