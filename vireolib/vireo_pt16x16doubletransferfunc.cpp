#include <vireolib/vireo_pt16x16doubletransferfunc.h>

#include <cmath>
#include <cstdint>

double VIREO_Pt16x16DoubleTransferFunc::apply(double x) const {
    // Truncate toward zero into 32 bits; out-of-range values keep their low 32 bits.
    int32_t n = 0;
    if (std::isfinite(x) && std::fabs(x) < 9.2e18) {
        n = static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(x)));
    }
    return static_cast<double>(n >> 16) + static_cast<double>(n & 0xFFFF) / 65536.0;
}

QString VIREO_Pt16x16DoubleTransferFunc::asString() const {
    const std::vector<double> k = withDefaults(k_, std::vector<double>(5, 0.0));
    return QString::asprintf("%1.0f\t%.8f\t%.8f\t%.8f\t%.8f", k[0], k[1], k[2], k[3], k[4]);
}

void VIREO_Pt16x16DoubleTransferFunc::change(const QString& text) {
    k_ = withDefaults(numberFields(text), std::vector<double>(5, 0.0));
}

QString VIREO_Pt16x16DoubleTransferFunc::equationAsString() const {
    return QStringLiteral("double value = upper 2 bytes + (lower 2 bytes/65536)");
}
