#include <gselib/rawtodouble.h>

#include <bit>
#include <cmath>
#include <cstdint>

double RawToDouble::apply(double x) const {
    // Truncate toward zero to 64 bits (saturating where the double is out of range, 0 for NaN),
    // keep the low 32 bits and reinterpret them.
    int64_t wide = 0;
    if (std::isfinite(x)) {
        const double t = std::trunc(x);
        if (t >= 9223372036854775807.0) {
            wide = INT64_MAX;
        } else if (t <= -9223372036854775808.0) {
            wide = INT64_MIN;
        } else {
            wide = static_cast<int64_t>(t);
        }
    }
    const float f = std::bit_cast<float>(static_cast<uint32_t>(static_cast<uint64_t>(wide)));
    return evaluate(static_cast<double>(f));
}

QString RawToDouble::equationAsString() const {
    return QStringLiteral("x = *(float *)&raw_value\ny = K8 * x^7 + K7 * x^6 ... K2 * x + K1");
}

QString RawToDouble::description() const {
    return QStringLiteral("Raw to double");
}
