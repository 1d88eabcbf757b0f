#include <tarnlib/definitionfields.h>

#include <gselib/parsingexceptions.h>

#include <QMetaType>
#include <cmath>
#include <limits>

namespace TarGse::DefinitionFields {

using GseLib::HexStringToIntException;
using GseLib::MissingKeyException;
using GseLib::UnexpectedValueTypeException;

namespace {

bool isNumber(const QVariant& v) {
    switch (v.typeId()) {
        case QMetaType::Double:
        case QMetaType::Float:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
            return true;
        default:
            return false;
    }
}

// The integral value of a number; false for text, fractions and values beyond 53 bits.
bool integral(const QVariant& v, double& out) {
    if (!isNumber(v)) {
        return false;
    }
    out = v.toDouble();
    return std::isfinite(out) && std::floor(out) == out && std::fabs(out) <= 9007199254740992.0;
}

}  // namespace

QString kindOf(const QVariant& value) {
    if (!value.isValid() || value.isNull()) {
        return QStringLiteral("null");
    }
    switch (value.typeId()) {
        case QMetaType::QString:
            return QStringLiteral("string");
        case QMetaType::Bool:
            return QStringLiteral("bool");
        case QMetaType::QVariantList:
        case QMetaType::QStringList:
            return QStringLiteral("list");
        case QMetaType::QVariantMap:
        case QMetaType::QVariantHash:
            return QStringLiteral("object");
        default:
            return isNumber(value) ? QStringLiteral("number")
                                   : QString::fromLatin1(value.metaType().name());
    }
}

const QVariant& require(const QVariantMap& map, const QString& key) {
    const auto it = map.constFind(key);
    if (it == map.constEnd()) {
        throw MissingKeyException(key);
    }
    return it.value();
}

QString optionalString(const QVariantMap& map, const QString& key) {
    const auto it = map.constFind(key);
    return it == map.constEnd() ? QString() : it->toString();
}

uint32_t requireUnsigned(const QVariantMap& map, const QString& key) {
    const QVariant& v = require(map, key);
    double d = 0.0;
    if (!integral(v, d) || d < 0.0 || d > double(std::numeric_limits<uint32_t>::max())) {
        throw UnexpectedValueTypeException(key, QStringLiteral("unsigned integer"), kindOf(v));
    }
    return static_cast<uint32_t>(d);
}

int optionalInt(const QVariantMap& map, const QString& key, int fallback) {
    const auto it = map.constFind(key);
    if (it == map.constEnd()) {
        return fallback;
    }
    double d = 0.0;
    if (!integral(*it, d) || d < double(std::numeric_limits<int>::min()) ||
        d > double(std::numeric_limits<int>::max())) {
        throw UnexpectedValueTypeException(key, QStringLiteral("integer"), kindOf(*it));
    }
    return static_cast<int>(d);
}

uint32_t requireHex(const QVariantMap& map, const QString& key) {
    // Absent reads as empty text, which converts to nothing: the conversion error says so.
    const QString text = map.value(key).toString();
    QString digits = text.trimmed();
    if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        digits = digits.mid(2);
    }
    bool ok = false;
    const qulonglong value = digits.toULongLong(&ok, 16);
    if (digits.isEmpty() || !ok || value > std::numeric_limits<uint32_t>::max()) {
        throw HexStringToIntException(text);
    }
    return static_cast<uint32_t>(value);
}

}  // namespace TarGse::DefinitionFields
