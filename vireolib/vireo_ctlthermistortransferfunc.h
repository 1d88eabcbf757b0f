#pragma once

#include <gselib/coefficienttransferfunc.h>

/// @brief Controller-board thermistor: R = K1 x / (K2 - x), then Steinhart-Hart with 273.15.
class VIREO_CtlThermistorTransferFunc : public CoefficientTransferFunc {
public:
    VIREO_CtlThermistorTransferFunc();
    explicit VIREO_CtlThermistorTransferFunc(const std::vector<double>& k);
    explicit VIREO_CtlThermistorTransferFunc(const QString& text);

    double apply(double x) const override;
    QString equationAsString() const override {
        return QStringLiteral(
            "R = (K1 * x) / (K2 - x)\nTc = 1/(K3 + K4 * lnR + K5 * pow(lnR,3)) - 273.15");
    }
    QString description() const override {
        return QStringLiteral("VIREO CTL Thermistor ohms to degrees");
    }
};
