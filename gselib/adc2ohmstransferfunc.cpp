#include <gselib/adc2ohmstransferfunc.h>

ADC2OhmsTransferFunc ADC2OhmsTransferFunc::fromDivider(double k1, double k2) {
    return ADC2OhmsTransferFunc({-k1 * k2, k2}, {65536.0, -1.0});
}

QString ADC2OhmsTransferFunc::equationAsString() const {
    return QStringLiteral("K2 * (x - K1) / (65536 - x)");
}

QString ADC2OhmsTransferFunc::description() const {
    return QStringLiteral("ADC to Ohms");
}
