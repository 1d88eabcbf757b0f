#include <gselib/sensewiretransferfunc.h>

#include <cmath>

namespace {
const std::vector<double> kDefaults{0.0, 1.0, 0.0, 0.0, 0.0, 32768.0};
}

SenseWireTransferFunc::SenseWireTransferFunc() : k_(kDefaults) {}

SenseWireTransferFunc::SenseWireTransferFunc(const std::vector<double>& k)
    : k_(withDefaults(k, kDefaults)) {}

SenseWireTransferFunc::SenseWireTransferFunc(const QString& text) : k_(kDefaults) {
    change(text);
}

double SenseWireTransferFunc::apply(double x) const {
    const double a = k_[5] - x;
    return k_[0] + a * (k_[1] + a * (k_[2] + a * (k_[3] + a * k_[4])));
}

QString SenseWireTransferFunc::asString() const {
    return fixedText(k_);
}

void SenseWireTransferFunc::change(const QString& text) {
    k_ = withDefaults(numberFields(text), std::vector<double>(6, 0.0));
}

QString SenseWireTransferFunc::equationAsString() const {
    return QStringLiteral("a = K4 - ADC\nT = K3 * a * a + K2 * a + K1");
}

QString SenseWireTransferFunc::description() const {
    return QStringLiteral("Pyrosense ADC to degrees ");
}
