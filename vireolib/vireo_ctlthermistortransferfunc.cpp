#include <vireolib/vireo_ctlthermistortransferfunc.h>

namespace {
const std::vector<double> kDefaults{18700.0, 4096.0, 0.0009354, 0.0002211, 1.275e-07};
}

VIREO_CtlThermistorTransferFunc::VIREO_CtlThermistorTransferFunc() : k_(kDefaults) {}

VIREO_CtlThermistorTransferFunc::VIREO_CtlThermistorTransferFunc(const std::vector<double>& k)
    : k_(withDefaults(k, kDefaults)) {}

VIREO_CtlThermistorTransferFunc::VIREO_CtlThermistorTransferFunc(const QString& text)
    : k_(kDefaults) {
    change(text);
}

double VIREO_CtlThermistorTransferFunc::apply(double x) const {
    return steinhartHart(k_[0] * x / (k_[1] - x), k_[2], k_[3], k_[4], 273.15);
}

void VIREO_CtlThermistorTransferFunc::change(const QString& text) {
    k_ = withDefaults(numberFields(text), std::vector<double>(5, 0.0));
}

QString VIREO_CtlThermistorTransferFunc::equationAsString() const {
    return QStringLiteral(
        "R = (K1 * x) / (K2 - x)\nTc = 1/(K3 + K4 * lnR + K5 * pow(lnR,3)) - 273.15");
}

QString VIREO_CtlThermistorTransferFunc::description() const {
    return QStringLiteral("VIREO CTL Thermistor ohms to degrees");
}
