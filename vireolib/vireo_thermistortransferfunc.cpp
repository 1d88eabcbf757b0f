#include <vireolib/vireo_thermistortransferfunc.h>

namespace {
const std::vector<double> kDefaults{10.0, 1.0, 1.0, 0.0, 0.0};
}

VIREO_ThermistorTransferFunc::VIREO_ThermistorTransferFunc()
    : CoefficientTransferFunc({}, kDefaults) {}

VIREO_ThermistorTransferFunc::VIREO_ThermistorTransferFunc(const std::vector<double>& k)
    : CoefficientTransferFunc(k, kDefaults) {}

VIREO_ThermistorTransferFunc::VIREO_ThermistorTransferFunc(const QString& text)
    : CoefficientTransferFunc({}, kDefaults) {
    change(text);
}

double VIREO_ThermistorTransferFunc::apply(double x) const {
    return steinhartHart(k_[0] * x / (k_[1] - x), k_[2], k_[3], k_[4], 273.15);
}
