#pragma once

#include <QByteArray>
#include <QString>

namespace GseLib {

/**
 * @brief One digital-to-analogue converter channel: its raw range and the linear map between
 * engineering values and counts (counts = value x scale + offset).
 */
class DacTableRow {
public:
    DacTableRow() = default;
    /// Reads one TAB-separated line: dacId, second id, name, bits, mask, signed, offset, scale.
    explicit DacTableRow(const QByteArray& line);

    /// Whether an engineering value maps into the channel's raw range.
    bool valid(double value) const;
    /// As valid(double) for text; false when it is not a number.
    bool valid(const QString& value) const;
    /// The channel's raw range: [0, 2^bits - 1], or the signed range the mask allows.
    double rawLow() const;
    double rawHigh() const;

    int dacId = 0;
    int secondId = 0;
    QByteArray name;
    int bits = 0;
    quint16 mask = 0;
    bool isSigned = false;
    double offset = 0.0;
    double scale = 0.0;
};

}  // namespace GseLib
