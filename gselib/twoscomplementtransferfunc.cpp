#include <gselib/twoscomplementtransferfunc.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// Truncation toward zero into 32 bits; values beyond 64 bits (and NaN) give 0 rather than
// undefined behaviour, and the low 32 bits are kept as the field's bit pattern.
int32_t truncateTo32(double x) {
    if (!std::isfinite(x) || std::fabs(x) >= 9.2e18) {
        return 0;
    }
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(x)));
}

// A bit count from a coefficient, truncated toward zero. The coefficients come from the database
// as any double: NaN counts as 0, and magnitudes are held at 2^50, far past any field (2^50 bits
// give an infinite power of two all the same) and small enough to subtract without overflow.
long long bitCount(double k) {
    constexpr double limit = 1125899906842624.0;  // 2^50
    if (std::isnan(k)) {
        return 0;
    }
    return static_cast<long long>(std::trunc(std::clamp(k, -limit, limit)));
}

}  // namespace

TwosComplementTransferFunc::TwosComplementTransferFunc(const std::vector<double>& k)
    : k_(withDefaults(k, {0.0, 0.0})) {}

double TwosComplementTransferFunc::apply(double x) const {
    const long long total = bitCount(k_[0]);
    const long long fraction = bitCount(k_[1]);
    const uint32_t n = static_cast<uint32_t>(truncateTo32(x));
    double result = x / std::pow(2.0, static_cast<double>(fraction));
    const int bit = static_cast<int>(((total - 1) % 32 + 32) % 32);
    if ((n >> bit) & 1u) {
        result -= std::pow(2.0, static_cast<double>(total - fraction));
    }
    return result;
}

QString TwosComplementTransferFunc::equationAsString() const {
    return QStringLiteral(
        "K1 = total # of bits\nK2 = # of fractional bits\nwholeBits = K1 - K2\nfinalValue = v / "
        "pow(2, K2)\nif (v & (1 << K1-1))\n  finalValue -= pow(2, wholeBits)");
}

QString TwosComplementTransferFunc::description() const {
    return QStringLiteral("Twos comp. to signed");
}
