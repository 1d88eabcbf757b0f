#pragma once

#include <gselib/coefficienttransferfunc.h>

/// @brief 10 kOhm thermistor: R = 1 / (K1 / x - K2), then Steinhart-Hart with 273.15.
class VIREO_10kThermistorTransferFunc : public CoefficientTransferFunc {
public:
    VIREO_10kThermistorTransferFunc();
    explicit VIREO_10kThermistorTransferFunc(const std::vector<double>& k);
    explicit VIREO_10kThermistorTransferFunc(const QString& text);

    double apply(double x) const override;
    QString equationAsString() const override {
        return QStringLiteral(
            "R = 1 / (4096/(5000*count) - 1/5000)Tc = 1/(K3 + K4 * lnR + K5 * pow(lnR,3)) - "
            "273.15");
    }
    QString description() const override {
        return QStringLiteral("VIREO 10k Thermistor ohms to degrees C");
    }
};
