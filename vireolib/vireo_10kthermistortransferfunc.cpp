#include <vireolib/vireo_10kthermistortransferfunc.h>

namespace {
const std::vector<double> kDefaults{0.8192, 0.0002, 0.001125308852122, 0.000234711863267,
                                    8.5663516e-08};
}

VIREO_10kThermistorTransferFunc::VIREO_10kThermistorTransferFunc()
    : CoefficientTransferFunc({}, kDefaults) {}

VIREO_10kThermistorTransferFunc::VIREO_10kThermistorTransferFunc(const std::vector<double>& k)
    : CoefficientTransferFunc(k, kDefaults) {}

VIREO_10kThermistorTransferFunc::VIREO_10kThermistorTransferFunc(const QString& text)
    : CoefficientTransferFunc({}, kDefaults) {
    change(text);
}

double VIREO_10kThermistorTransferFunc::apply(double x) const {
    return steinhartHart(1.0 / (k_[0] / x - k_[1]), k_[2], k_[3], k_[4], 273.15);
}
