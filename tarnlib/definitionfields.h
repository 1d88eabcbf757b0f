#pragma once

#include <QString>
#include <QVariant>
#include <cstdint>

namespace TarGse::DefinitionFields {

/// The JSON kind of a value as the parsing messages name it: "string", "number", "list"...
QString kindOf(const QVariant& value);

/// @throw GseLib::MissingKeyException when key is absent
const QVariant& require(const QVariantMap& map, const QString& key);
/// The value read as a string, whatever its JSON kind (a number gives its digits, a list or an
/// object nothing); empty when absent.
QString optionalString(const QVariantMap& map, const QString& key);
/// An integral number in [0, 2^32). @throw GseLib::MissingKeyException,
/// GseLib::UnexpectedValueTypeException
uint32_t requireUnsigned(const QVariantMap& map, const QString& key);
/// An integral number in the range of int; fallback when absent.
/// @throw GseLib::UnexpectedValueTypeException
int optionalInt(const QVariantMap& map, const QString& key, int fallback);
/// The value read as a string of hexadecimal digits (an optional 0x prefix allowed), as an
/// unsigned 32-bit value; a JSON number is read through its text, so 28 is 0x28.
/// @throw GseLib::HexStringToIntException when the text (empty when absent) does not convert
uint32_t requireHex(const QVariantMap& map, const QString& key);

}  // namespace TarGse::DefinitionFields
