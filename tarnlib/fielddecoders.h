#pragma once

#include <gselib/tmpacket.h>

#include <QMap>
#include <QString>
#include <QVariant>
#include <cstdint>

namespace TarGse {

using CommandBytes = GseLib::ByteVector;

/**
 * @brief One field of an SEB command: where it lies in the command's bytes and how its value
 * reads and renders.
 *
 * Offsets count from the command's first byte (the first sync byte). Reading past the end of
 * the command's bytes throws std::out_of_range.
 */
class BaseFieldDecoder {
public:
    /**
     * Reads "field", "type", "description" and "offset" of a definition.
     * @throw GseLib::MissingKeyException, GseLib::UnexpectedValueTypeException
     */
    explicit BaseFieldDecoder(const QVariantMap& definition);
    virtual ~BaseFieldDecoder() = default;

    /// Number of bytes the field reads.
    virtual unsigned size() const = 0;
    virtual QString toString() const;
    /// The field's value as size() bytes, most significant first.
    virtual CommandBytes decode(const CommandBytes& bytes) const;
    virtual uint32_t decodeToUInt(const CommandBytes& bytes) const = 0;
    /// Each byte of decode() as two upper-case hexadecimal digits and a blank.
    virtual QString decodeToHexStr(const CommandBytes& bytes) const;
    virtual QString decodeToDecStr(const CommandBytes& bytes) const;
    virtual double decodeToSci(const CommandBytes& bytes) const;
    virtual QString decodeToSciStr(const CommandBytes& bytes) const;

    QString fieldName() const { return fieldName_; }
    unsigned type() const { return type_; }
    QString description() const { return description_; }
    unsigned offset() const { return offset_; }

protected:
    /// size bytes at offset, big-endian, masked and shifted (right, or left when negative).
    uint32_t readMasked(const CommandBytes& bytes, unsigned size, uint32_t mask, int shift) const;

    QString fieldName_;
    unsigned type_ = 0;
    QString description_;
    unsigned offset_ = 0;
};

/**
 * @brief A field read with its own size, mask and shift; its science value is the unsigned
 * value.
 */
class SimpleDecoder : public BaseFieldDecoder {
public:
    static constexpr unsigned TYPE = 1;

    /// @throw also GseLib::HexStringToIntException for a mask that is not hexadecimal
    explicit SimpleDecoder(const QVariantMap& definition);

    unsigned size() const override { return size_; }
    QString toString() const override;
    uint32_t decodeToUInt(const CommandBytes& bytes) const override;
    QString decodeToSciStr(const CommandBytes& bytes) const override;

    uint32_t mask() const { return mask_; }
    int shift() const { return shift_; }

private:
    unsigned size_ = 0;
    uint32_t mask_ = 0;
    int shift_ = 0;
};

/**
 * @brief A field that is a telemetry database item: read with the item's size, mask and shift,
 * converted by the item's science conversion.
 *
 * The item is looked up in the current interpretation engine at every call, so a rebinding to
 * another database is followed.
 */
class HkDecoder : public BaseFieldDecoder {
public:
    static constexpr unsigned TYPE = 2;

    explicit HkDecoder(const QVariantMap& definition);

    /// @throw std::out_of_range when the database has no such item
    unsigned size() const override;
    QString toString() const override;
    uint32_t decodeToUInt(const CommandBytes& bytes) const override;
    double decodeToSci(const CommandBytes& bytes) const override;
    /// The science value (6 significant digits) followed by the item's units.
    QString decodeToSciStr(const CommandBytes& bytes) const override;

    unsigned hkid() const { return hkid_; }

private:
    unsigned hkid_ = 0;
};

/**
 * @brief A field holding a DAC id; renders as the DAC's name.
 */
class DacIdDecoder : public SimpleDecoder {
public:
    static constexpr unsigned TYPE = 3;

    using SimpleDecoder::SimpleDecoder;

    /// The DAC's name in the current DAC table, or "Unknown".
    QString decodeToSciStr(const CommandBytes& bytes) const override;
};

/**
 * @brief A field holding DAC counts; its science value is in volts through the DAC row of the
 * DAC that the same command addresses (field 0 of the SET_DAC_IMM interpreter).
 */
class DacValueDecoder : public SimpleDecoder {
public:
    static constexpr unsigned TYPE = 4;

    using SimpleDecoder::SimpleDecoder;

    double decodeToSci(const CommandBytes& bytes) const override;
    /// The science value (6 significant digits) followed by "V".
    QString decodeToSciStr(const CommandBytes& bytes) const override;
};

/// The name of the DAC with that id in the current engine's DAC table; "Unknown" when absent.
QString dacNameOf(uint32_t dacId);

}  // namespace TarGse
