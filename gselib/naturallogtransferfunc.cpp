#include <gselib/naturallogtransferfunc.h>

#include <cmath>

NaturalLogTransferFunc::NaturalLogTransferFunc(const std::vector<double>& k)
    : k_(withDefaults(k, {0.0, 0.0})) {}

double NaturalLogTransferFunc::apply(double x) const {
    return k_[1] * std::log(x) + k_[0];
}

QString NaturalLogTransferFunc::equationAsString() const {
    return QStringLiteral("y = K2 * ln(x) + K1");
}

QString NaturalLogTransferFunc::description() const {
    return QStringLiteral("Natural log");
}
