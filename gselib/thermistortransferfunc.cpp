#include <gselib/thermistortransferfunc.h>

#include <cmath>

namespace {
const std::vector<double> kDefaults{10.0, 1.0, 1.0, 0.0, 0.0};
}

ThermistorTransferFunc::ThermistorTransferFunc() : k_(kDefaults) {}

ThermistorTransferFunc::ThermistorTransferFunc(const std::vector<double>& k)
    : k_(withDefaults(k, kDefaults)) {}

ThermistorTransferFunc::ThermistorTransferFunc(const QString& text) : k_(kDefaults) {
    change(text);
}

double ThermistorTransferFunc::apply(double x) const {
    return steinhartHart(k_[1] * (k_[0] + x) / (k_[0] - x), k_[2], k_[3], k_[4], 273.13);
}

QString ThermistorTransferFunc::asString() const {
    return fixedText(k_);
}

void ThermistorTransferFunc::change(const QString& text) {
    k_ = withDefaults(numberFields(text), std::vector<double>(5, 0.0));
}

QString ThermistorTransferFunc::equationAsString() const {
    return QStringLiteral("R = K2 * (V + 10) / (10 - V)\nT = 1 / (K3 + K4 * lnR + K5 * pow(lnR,3)");
}

QString ThermistorTransferFunc::description() const {
    return QStringLiteral("Thermistor volts to degrees");
}
