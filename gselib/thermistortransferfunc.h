#pragma once

#include <gselib/coefficienttransferfunc.h>

/// @brief Thermistor volts to degrees Celsius: R = K2 (K1 + x) / (K1 - x), then Steinhart-Hart with
/// 273.13.
class ThermistorTransferFunc : public CoefficientTransferFunc {
public:
    ThermistorTransferFunc();
    explicit ThermistorTransferFunc(const std::vector<double>& k);
    explicit ThermistorTransferFunc(const QString& text);

    double apply(double x) const override;
    QString equationAsString() const override {
        return QStringLiteral(
            "R = K2 * (V + 10) / (10 - V)\nT = 1 / (K3 + K4 * lnR + K5 * pow(lnR,3)");
    }
    QString description() const override { return QStringLiteral("Thermistor volts to degrees"); }
};
