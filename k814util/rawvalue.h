#pragma once

#include <gselib/dataitem.h>

#include <QByteArray>
#include <variant>

namespace k814util {

/// The number all_data makes of a decoded raw value: numbers as they are, text read as a decimal
/// number (surrounding blanks ignored), 0.0 when it is none. One definition for the per-packet
/// values and the whole-file series, which must agree value for value.
inline double rawAsDouble(const GseLib::DataItem::Value& v) {
    if (const auto* d = std::get_if<double>(&v))
        return *d;
    if (const auto* i = std::get_if<int64_t>(&v))
        return static_cast<double>(*i);
    if (const auto* u = std::get_if<uint64_t>(&v))
        return static_cast<double>(*u);
    bool ok = false;
    const double parsed = std::get<QByteArray>(v).trimmed().toDouble(&ok);
    return ok ? parsed : 0.0;
}

}  // namespace k814util
