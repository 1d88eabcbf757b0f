#include <vireolib/vireo_thermistortransferfunc.h>

namespace {
const std::vector<double> kDefaults{10.0, 1.0, 1.0, 0.0, 0.0};
}

VIREO_ThermistorTransferFunc::VIREO_ThermistorTransferFunc() : k_(kDefaults) {}

VIREO_ThermistorTransferFunc::VIREO_ThermistorTransferFunc(const std::vector<double>& k)
    : k_(withDefaults(k, kDefaults)) {}

VIREO_ThermistorTransferFunc::VIREO_ThermistorTransferFunc(const QString& text) : k_(kDefaults) {
    change(text);
}

double VIREO_ThermistorTransferFunc::apply(double x) const {
    return steinhartHart(k_[0] * x / (k_[1] - x), k_[2], k_[3], k_[4], 273.15);
}

void VIREO_ThermistorTransferFunc::change(const QString& text) {
    k_ = withDefaults(numberFields(text), std::vector<double>(5, 0.0));
}

QString VIREO_ThermistorTransferFunc::equationAsString() const {
    return QStringLiteral(
        "R = (K1 * x) / (K2 - x)\nTc = 1/(K3 + K4 * lnR + K5 * pow(lnR,3)) - 273.15");
}

QString VIREO_ThermistorTransferFunc::description() const {
    return QStringLiteral("VIREO Thermistor ohms to degrees");
}
