#include <gselib/thermistortransferfunc.h>

namespace {
const std::vector<double> kDefaults{10.0, 1.0, 1.0, 0.0, 0.0};
}

ThermistorTransferFunc::ThermistorTransferFunc() : CoefficientTransferFunc({}, kDefaults) {}

ThermistorTransferFunc::ThermistorTransferFunc(const std::vector<double>& k)
    : CoefficientTransferFunc(k, kDefaults) {}

ThermistorTransferFunc::ThermistorTransferFunc(const QString& text)
    : CoefficientTransferFunc({}, kDefaults) {
    change(text);
}

double ThermistorTransferFunc::apply(double x) const {
    return steinhartHart(k_[1] * (k_[0] + x) / (k_[0] - x), k_[2], k_[3], k_[4], 273.13);
}
