#include <tarnlib/fielddecoders.h>

#include <gselib/datainterpretation.h>
#include <gselib/tmdatabase.h>
#include <tarnlib/definitionfields.h>
#include <tarnlib/sebcmd.h>
#include <tarnlib/sebcmdinterpreter.h>

#include <cmath>
#include <stdexcept>
#include <string>

namespace TarGse {

namespace F = DefinitionFields;

namespace {

const GseLib::TmDatabaseRow& itemRow(unsigned hkid) {
    if (!GseLib::DataInterpretation::hasCurrent() || !GseLib::DataInterpretation::current()->db() ||
        !GseLib::DataInterpretation::current()->db()->contains(hkid)) {
        throw std::out_of_range("SEB command field: no telemetry database item " +
                                std::to_string(hkid));
    }
    return GseLib::DataInterpretation::current()->db()->row(hkid);
}

QString general6(double v) {
    return QString::number(v, 'g', 6);
}

}  // namespace

QString dacNameOf(uint32_t dacId) {
    if (GseLib::DataInterpretation::hasCurrent()) {
        const auto table = GseLib::DataInterpretation::current()->dacTable();
        if (table && table->allDacIds().contains(int(dacId))) {
            return QString::fromLatin1(table->name(int(dacId)));
        }
    }
    return QStringLiteral("Unknown");
}

// --- BaseFieldDecoder ------------------------------------------------------------------------

BaseFieldDecoder::BaseFieldDecoder(const QVariantMap& definition)
    : fieldName_(F::optionalString(definition, QStringLiteral("field"))),
      type_(F::requireUnsigned(definition, QStringLiteral("type"))),
      description_(F::optionalString(definition, QStringLiteral("description"))),
      offset_(F::requireUnsigned(definition, QStringLiteral("offset"))) {}

QString BaseFieldDecoder::toString() const {
    return QStringLiteral("Name: %1\nType: %2\nOffset: %3\nDesc: %4\n")
        .arg(fieldName_)
        .arg(type_)
        .arg(offset_)
        .arg(description_);
}

CommandBytes BaseFieldDecoder::decode(const CommandBytes& bytes) const {
    const uint32_t value = decodeToUInt(bytes);
    const unsigned n = size();
    CommandBytes out(n, 0);
    for (unsigned i = 0; i < n; ++i) {
        const unsigned shift = 8 * (n - 1 - i);
        out[i] = shift < 32 ? static_cast<uint8_t>(value >> shift) : 0;
    }
    return out;
}

QString BaseFieldDecoder::decodeToHexStr(const CommandBytes& bytes) const {
    QString out;
    for (uint8_t b : decode(bytes)) {
        out += QStringLiteral("%1 ").arg(b, 2, 16, QLatin1Char('0')).toUpper();
    }
    return out;
}

QString BaseFieldDecoder::decodeToDecStr(const CommandBytes& bytes) const {
    return QString::number(decodeToUInt(bytes));
}

double BaseFieldDecoder::decodeToSci(const CommandBytes& bytes) const {
    return double(decodeToUInt(bytes));
}

QString BaseFieldDecoder::decodeToSciStr(const CommandBytes&) const {
    return QStringLiteral("N/A");
}

uint32_t BaseFieldDecoder::readMasked(const CommandBytes& bytes, unsigned size, uint32_t mask,
                                      int shift) const {
    if (size > 8) {
        throw std::out_of_range("SEB command field " + fieldName_.toStdString() + ": " +
                                std::to_string(size) + " bytes do not fit a 64-bit value");
    }
    if (uint64_t(offset_) + size > bytes.size()) {
        throw std::out_of_range("SEB command field " + fieldName_.toStdString() +
                                " reaches past the command's " + std::to_string(bytes.size()) +
                                " bytes");
    }
    uint64_t v = 0;
    for (unsigned i = 0; i < size; ++i) {
        v = (v << 8) | bytes[offset_ + i];
    }
    v &= mask;
    if (shift >= 0) {
        v = shift < 64 ? v >> shift : 0;
    } else {
        v = -shift < 64 ? v << -shift : 0;
    }
    return static_cast<uint32_t>(v);
}

// --- SimpleDecoder ---------------------------------------------------------------------------

SimpleDecoder::SimpleDecoder(const QVariantMap& definition)
    : BaseFieldDecoder(definition),
      size_(F::requireUnsigned(definition, QStringLiteral("size"))),
      mask_(F::requireHex(definition, QStringLiteral("mask"))),
      shift_(F::optionalInt(definition, QStringLiteral("shift"), 0)) {}

QString SimpleDecoder::toString() const {
    return BaseFieldDecoder::toString() + QStringLiteral("Size: %1\nMask: %2\nShift: %3\n")
                                              .arg(size_)
                                              .arg(QString::number(mask_, 16).toUpper())
                                              .arg(shift_);
}

uint32_t SimpleDecoder::decodeToUInt(const CommandBytes& bytes) const {
    return readMasked(bytes, size_, mask_, shift_);
}

QString SimpleDecoder::decodeToSciStr(const CommandBytes&) const {
    return QStringLiteral("N/A");
}

// --- HkDecoder -------------------------------------------------------------------------------

HkDecoder::HkDecoder(const QVariantMap& definition)
    : BaseFieldDecoder(definition), hkid_(F::requireUnsigned(definition, QStringLiteral("hkid"))) {}

unsigned HkDecoder::size() const {
    return unsigned(itemRow(hkid_).decode_id[1]);
}

QString HkDecoder::toString() const {
    return BaseFieldDecoder::toString() + QStringLiteral("HKID: %1\n").arg(hkid_);
}

uint32_t HkDecoder::decodeToUInt(const CommandBytes& bytes) const {
    const GseLib::TmDatabaseRow& row = itemRow(hkid_);
    // A zero mask means the whole field, as for the database's own integer decoders.
    const uint32_t mask = row.decode_id[2] ? uint32_t(row.decode_id[2]) : 0xFFFFFFFFu;
    const int shift = int(row.decode_id[3] % 64);
    return readMasked(bytes, unsigned(row.decode_id[1]), mask, shift);
}

double HkDecoder::decodeToSci(const CommandBytes& bytes) const {
    const double raw = double(decodeToUInt(bytes));
    return itemRow(hkid_).convertValue(raw, Gse::ValueMode::Sci);
}

QString HkDecoder::decodeToSciStr(const CommandBytes& bytes) const {
    return general6(decodeToSci(bytes)) + QString::fromLatin1(itemRow(hkid_).sci_units);
}

// --- DacIdDecoder / DacValueDecoder ----------------------------------------------------------

QString DacIdDecoder::decodeToSciStr(const CommandBytes& bytes) const {
    return dacNameOf(decodeToUInt(bytes));
}

double DacValueDecoder::decodeToSci(const CommandBytes& bytes) const {
    // The command names its DAC in the field that SET_DAC_IMM's interpreter reads as the id.
    const auto setDac = SebCmdInterpreter::interpreter(SebCmd::SET_DAC_IMM);
    const QString name =
        setDac ? dacNameOf(setDac->decodeFieldToUInt(0, bytes)) : QStringLiteral("Unknown");
    if (!GseLib::DataInterpretation::hasCurrent() ||
        !GseLib::DataInterpretation::current()->dacTable()) {
        return 0.0;
    }
    const GseLib::DacTableRow row =
        GseLib::DataInterpretation::current()->dacTable()->row(name.toLatin1().constData());
    int64_t raw = decodeToUInt(bytes) & row.mask;
    if (row.isSigned && row.bits > 0 && row.bits < 64 && (raw >> (row.bits - 1)) & 1) {
        raw -= int64_t(1) << row.bits;
    }
    if (row.scale == 0.0) {
        return 0.0;
    }
    return (double(raw) - row.offset) / row.scale;
}

QString DacValueDecoder::decodeToSciStr(const CommandBytes& bytes) const {
    return general6(decodeToSci(bytes)) + QStringLiteral("V");
}

}  // namespace TarGse
