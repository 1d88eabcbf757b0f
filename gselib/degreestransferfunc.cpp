#include <gselib/degreestransferfunc.h>

namespace {
const std::vector<double> kDefaults{32768.0, 1.0, 1.0, 0.0, 0.0};
}

DegreesTransferFunc::DegreesTransferFunc() : CoefficientTransferFunc({}, kDefaults) {
    rebuildStage();
}

DegreesTransferFunc::DegreesTransferFunc(const std::vector<double>& k)
    : CoefficientTransferFunc(k, kDefaults) {
    rebuildStage();
}

DegreesTransferFunc::DegreesTransferFunc(const QString& text) : DegreesTransferFunc() {
    change(text);
}

DegreesTransferFunc::DegreesTransferFunc(const DegreesTransferFunc& other)
    : CoefficientTransferFunc(other.k_, kDefaults) {
    rebuildStage();
}

DegreesTransferFunc& DegreesTransferFunc::operator=(const DegreesTransferFunc& other) {
    if (this != &other) {
        k_ = other.k_;
        rebuildStage();
    }
    return *this;
}

void DegreesTransferFunc::rebuildStage() {
    // Each function owns its stage, so copies never share one that a later change rebuilds.
    ohms_ = std::make_shared<ADC2OhmsTransferFunc>(ADC2OhmsTransferFunc::fromDivider(k_[0], k_[1]));
}

double DegreesTransferFunc::apply(double x) const {
    return steinhartHart(ohms_->apply(x), k_[2], k_[3], k_[4], 273.13);
}

void DegreesTransferFunc::change(const QString& text) {
    CoefficientTransferFunc::change(text);
    rebuildStage();
}

QString DegreesTransferFunc::equationAsString() const {
    return QStringLiteral(
        "R = K2 * (x - K1) / (65536 - x)\nT = 1 / (K3 + K4 * ln(R) + K5 * pow(ln(R),3)) - 273.13");
}

QString DegreesTransferFunc::description() const {
    return QStringLiteral("ADC to degrees");
}
