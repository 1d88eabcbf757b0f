#pragma once

#include <gselib/gse.h>

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <string>

// Cell parsers of telemetry database lines. Each reads a view of one cell; a cell that is not of
// the expected form gives the type's zero, never an error, except for mine types.
namespace GseLib {

/// Text: each UTF-16 unit below 256 becomes one byte, any other a zero byte.
void extractValueFromText(QStringView cell, QByteArray& out);
/// C-style base ("0x" hex, leading "0" octal); invalid, negative or >= 2^32 gives 0.
void extractValueFromText(QStringView cell, uint32_t& out);
/// C-style base, 64-bit range; invalid or negative gives 0.
void extractValueFromText(QStringView cell, unsigned long long& out);
/// C-style base, signed 64-bit range; invalid gives 0.
void extractValueFromText(QStringView cell, long long& out);
/// Decimal floating point in the C locale; invalid gives 0.0.
void extractValueFromText(QStringView cell, double& out);
/// True when the first character is "y", "Y" or "1".
void extractValueFromText(QStringView cell, bool& out);
/**
 * A number, or one of the words "bin", "delta", "all", "blob" (case-sensitive).
 * @throw std::runtime_error "Invalid QUIP_MINE_TYPE: <cell>" for anything else
 */
void extractValueFromText(QStringView cell, Gse::QuipMineType& out);
/// "key=value;key=value" into a map (cleared first); keys base-detected ints, 0 when invalid.
void extractValueFromText(QStringView cell, QMap<int, QString>& out);

/// Bytes for an error message: zero bytes (characters a text cell cannot hold) become '?', so
/// that the message is not cut short where it is read as a C string.
std::string messageText(const QByteArray& text);

/// C-style integer with sign; false when the whole cell is not one or exceeds 64 bits.
bool parseCInteger(QStringView cell, bool& negative, unsigned long long& magnitude);
/// Plain decimal signed 32-bit integer (no base prefix); false otherwise.
bool parseDecimalInt32(QStringView cell, int& value);
/// C-style signed 32-bit integer; false otherwise.
bool parseCInt32(QStringView cell, int& value);
/// Decimal floating point in the C locale; false when the whole cell is not one.
bool parseDouble(QStringView cell, double& value);

}  // namespace GseLib
