#include <vireolib/vireo_ctlamuxthermistortransferfunc.h>

namespace {
const std::vector<double> kDefaults{18700.0, 4096.0, 0.0009354, 0.0002211, 1.275e-07};
}

VIREO_CtlAmuxThermistorTransferFunc::VIREO_CtlAmuxThermistorTransferFunc()
    : CoefficientTransferFunc({}, kDefaults) {}

VIREO_CtlAmuxThermistorTransferFunc::VIREO_CtlAmuxThermistorTransferFunc(
    const std::vector<double>& k)
    : CoefficientTransferFunc(k, kDefaults) {}

VIREO_CtlAmuxThermistorTransferFunc::VIREO_CtlAmuxThermistorTransferFunc(const QString& text)
    : CoefficientTransferFunc({}, kDefaults) {
    change(text);
}

double VIREO_CtlAmuxThermistorTransferFunc::apply(double x) const {
    return steinhartHart(k_[0] * (x - 32768.0) / (k_[1] - x), k_[2], k_[3], k_[4], 273.15);
}
