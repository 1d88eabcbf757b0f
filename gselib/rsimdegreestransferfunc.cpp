#include <gselib/rsimdegreestransferfunc.h>

namespace {
const std::vector<double> kDefaults{1.0, 1.0, 0.0, 0.0};
}

RSimDegreesTransferFunc::RSimDegreesTransferFunc() : CoefficientTransferFunc({}, kDefaults) {}

RSimDegreesTransferFunc::RSimDegreesTransferFunc(const std::vector<double>& k)
    : CoefficientTransferFunc(k, kDefaults) {}

RSimDegreesTransferFunc::RSimDegreesTransferFunc(const QString& text)
    : CoefficientTransferFunc({}, kDefaults) {
    change(text);
}

double RSimDegreesTransferFunc::apply(double x) const {
    const double rp = k_[0] / ((1.0 / x) - 1.0);
    return (k_[3] * rp + k_[2]) * rp + k_[1];
}
