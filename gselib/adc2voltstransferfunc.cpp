#include <gselib/adc2voltstransferfunc.h>

QString ADC2VoltsTransferFunc::equationAsString() const {
    return QStringLiteral("V = K1 * (K2 * (x - 32768)) / 65536");
}

QString ADC2VoltsTransferFunc::description() const {
    return QStringLiteral("ADC to Volts");
}
