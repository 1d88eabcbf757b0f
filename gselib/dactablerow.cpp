#include <gselib/dactablerow.h>

#include <QList>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace GseLib {

DacTableRow::DacTableRow(const QByteArray& line) {
    QByteArray text = line;
    while (text.endsWith('\n') || text.endsWith('\r')) {
        text.chop(1);
    }
    const QList<QByteArray> f = text.split('\t');
    auto field = [&f](qsizetype i) { return i < f.size() ? f[i].trimmed() : QByteArray(); };
    bool ok = false;
    dacId = field(0).toInt(&ok, 10);
    secondId = field(1).toInt(&ok, 10);
    name = field(2);
    bits = field(3).toInt(&ok, 10);
    // C-style base detection, so "0xFFF" and "4095" both read.
    const QByteArray maskText = field(4);
    char* end = nullptr;
    const unsigned long m = std::strtoul(maskText.constData(), &end, 0);
    mask = (!maskText.isEmpty() && end && *end == '\0' && m <= 0xFFFFu) ? quint16(m) : 0;
    isSigned = field(5).toInt(&ok, 10) != 0;
    offset = field(6).toDouble(&ok);
    if (!ok) {
        offset = 0.0;
    }
    scale = field(7).toDouble(&ok);
    if (!ok) {
        scale = 0.0;
    }
}

double DacTableRow::rawLow() const {
    if (!isSigned || bits <= 0) {
        return 0.0;
    }
    // The sign bit is bit (bits - 1) of the mask; the mask only has 16 bits to look at.
    const int sign = bits - 1;
    return sign < 16 && ((mask >> sign) & 1u) ? -std::ldexp(1.0, sign) : 0.0;
}

double DacTableRow::rawHigh() const {
    if (bits <= 0) {
        return 0.0;
    }
    if (!isSigned) {
        return std::ldexp(1.0, std::min(bits, 64)) - 1.0;
    }
    const int sign = bits - 1;
    const unsigned magnitude = sign < 16 ? (1u << sign) - 1u : 0xFFFFu;
    return static_cast<double>(mask & magnitude);
}

bool DacTableRow::valid(double value) const {
    const double low = rawLow();
    const double high = rawHigh();
    if (scale > 0.0) {
        return (low - offset) / scale <= value && value <= (high - offset) / scale;
    }
    if (scale < 0.0) {
        return (high - offset) / scale <= value && value <= (low - offset) / scale;
    }
    return value == 0.0;
}

bool DacTableRow::valid(const QString& value) const {
    bool ok = false;
    const double v = value.trimmed().toDouble(&ok);
    return ok && valid(v);
}

}  // namespace GseLib
