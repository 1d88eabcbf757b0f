#include <vireolib/vireo_ctlthermistortransferfunc.h>

namespace {
const std::vector<double> kDefaults{18700.0, 4096.0, 0.0009354, 0.0002211, 1.275e-07};
}

VIREO_CtlThermistorTransferFunc::VIREO_CtlThermistorTransferFunc()
    : CoefficientTransferFunc({}, kDefaults) {}

VIREO_CtlThermistorTransferFunc::VIREO_CtlThermistorTransferFunc(const std::vector<double>& k)
    : CoefficientTransferFunc(k, kDefaults) {}

VIREO_CtlThermistorTransferFunc::VIREO_CtlThermistorTransferFunc(const QString& text)
    : CoefficientTransferFunc({}, kDefaults) {
    change(text);
}

double VIREO_CtlThermistorTransferFunc::apply(double x) const {
    return steinhartHart(k_[0] * x / (k_[1] - x), k_[2], k_[3], k_[4], 273.15);
}
