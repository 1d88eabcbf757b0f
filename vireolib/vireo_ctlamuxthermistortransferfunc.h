#pragma once

#include <gselib/coefficienttransferfunc.h>

/// @brief Controller thermistor behind the analogue multiplexer: R = K1 (x - 32768) / (K2 - x).
class VIREO_CtlAmuxThermistorTransferFunc : public CoefficientTransferFunc {
public:
    VIREO_CtlAmuxThermistorTransferFunc();
    explicit VIREO_CtlAmuxThermistorTransferFunc(const std::vector<double>& k);
    explicit VIREO_CtlAmuxThermistorTransferFunc(const QString& text);

    double apply(double x) const override;
    QString equationAsString() const override {
        return QStringLiteral(
            "R = K1 * (x - 32768) / (K2 - x)\nTc = 1/(K3 + K4 * lnR + K5 * pow(lnR,3)) - 273.15");
    }
    QString description() const override {
        return QStringLiteral("VIREO CTL AMUX Thermistor ohms to degrees");
    }
};
