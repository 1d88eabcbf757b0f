#include <gselib/sensewiretransferfunc.h>

namespace {
const std::vector<double> kDefaults{0.0, 1.0, 0.0, 0.0, 0.0, 32768.0};
}

SenseWireTransferFunc::SenseWireTransferFunc() : CoefficientTransferFunc({}, kDefaults) {}

SenseWireTransferFunc::SenseWireTransferFunc(const std::vector<double>& k)
    : CoefficientTransferFunc(k, kDefaults) {}

SenseWireTransferFunc::SenseWireTransferFunc(const QString& text)
    : CoefficientTransferFunc({}, kDefaults) {
    change(text);
}

double SenseWireTransferFunc::apply(double x) const {
    const double a = k_[5] - x;
    return k_[0] + a * (k_[1] + a * (k_[2] + a * (k_[3] + a * k_[4])));
}
