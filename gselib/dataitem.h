#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <variant>
#include <vector>

namespace GseLib {

/**
 * @brief One decoded value with its time and where it came from in the packet.
 *
 * The value is the raw decoded number or text; `DataInterpretation::getData` replaces it by the
 * converted double.
 */
struct DataItem {
    using Value = std::variant<double, int64_t, uint64_t, QByteArray>;

    DataItem() = default;
    DataItem(double unix, double relative, uint32_t offset, uint32_t count, Value v)
        : unixTime(unix),
          relativeTime(relative),
          byteOffset(offset),
          byteCount(count),
          value(std::move(v)) {}

    /// Doubles in fixed notation with six decimals, integers in decimal, text unchanged.
    QString toString() const;
    /// The value as a number: integers converted, text parsed as a decimal number (0.0 if not).
    double toDouble() const;

    double unixTime = 0.0;
    double relativeTime = 0.0;
    uint32_t byteOffset = 0;
    uint32_t byteCount = 0;
    Value value{0.0};
};

using DataItems = std::vector<DataItem>;

}  // namespace GseLib
