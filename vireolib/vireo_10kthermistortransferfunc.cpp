#include <vireolib/vireo_10kthermistortransferfunc.h>

namespace {
const std::vector<double> kDefaults{0.8192, 0.0002, 0.001125308852122, 0.000234711863267,
                                    8.5663516e-08};
}

VIREO_10kThermistorTransferFunc::VIREO_10kThermistorTransferFunc() : k_(kDefaults) {}

VIREO_10kThermistorTransferFunc::VIREO_10kThermistorTransferFunc(const std::vector<double>& k)
    : k_(withDefaults(k, kDefaults)) {}

VIREO_10kThermistorTransferFunc::VIREO_10kThermistorTransferFunc(const QString& text)
    : k_(kDefaults) {
    change(text);
}

double VIREO_10kThermistorTransferFunc::apply(double x) const {
    return steinhartHart(1.0 / (k_[0] / x - k_[1]), k_[2], k_[3], k_[4], 273.15);
}

void VIREO_10kThermistorTransferFunc::change(const QString& text) {
    k_ = withDefaults(numberFields(text), std::vector<double>(5, 0.0));
}

QString VIREO_10kThermistorTransferFunc::equationAsString() const {
    return QStringLiteral(
        "R = 1 / (4096/(5000*count) - 1/5000)Tc = 1/(K3 + K4 * lnR + K5 * pow(lnR,3)) - 273.15");
}

QString VIREO_10kThermistorTransferFunc::description() const {
    return QStringLiteral("VIREO 10k Thermistor ohms to degrees C");
}
