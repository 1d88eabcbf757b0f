#include <gselib/rsimdegreestransferfunc.h>

#include <cmath>

namespace {
const std::vector<double> kDefaults{1.0, 1.0, 0.0, 0.0};
}

RSimDegreesTransferFunc::RSimDegreesTransferFunc() : k_(kDefaults) {}

RSimDegreesTransferFunc::RSimDegreesTransferFunc(const std::vector<double>& k)
    : k_(withDefaults(k, kDefaults)) {}

RSimDegreesTransferFunc::RSimDegreesTransferFunc(const QString& text) : k_(kDefaults) {
    change(text);
}

double RSimDegreesTransferFunc::apply(double x) const {
    const double rp = k_[0] / ((1.0 / x) - 1.0);
    return (k_[3] * rp + k_[2]) * rp + k_[1];
}

QString RSimDegreesTransferFunc::asString() const {
    return fixedText(k_);
}

void RSimDegreesTransferFunc::change(const QString& text) {
    k_ = withDefaults(numberFields(text), std::vector<double>(4, 0.0));
}

QString RSimDegreesTransferFunc::equationAsString() const {
    return QStringLiteral("Rp = K1 * ((1 / x) - 1)\nT = K4 * Rp * Rp + K3 * Rp + K2");
}

QString RSimDegreesTransferFunc::description() const {
    return QStringLiteral("RSIM degrees");
}
