#pragma once

#include <gselib/transferfunc.h>

/// @brief Thermistor volts to degrees Celsius: R = K2 (K1 + x) / (K1 - x), then Steinhart-Hart with
/// 273.13.
class ThermistorTransferFunc : public TransferFunc {
public:
    ThermistorTransferFunc();
    explicit ThermistorTransferFunc(const std::vector<double>& k);
    explicit ThermistorTransferFunc(const QString& text);

    double apply(double x) const override;
    QString asString() const override;
    void change(const QString& text) override;
    QString equationAsString() const override;
    QString description() const override;

    const std::vector<double>& coefficients() const { return k_; }

private:
    std::vector<double> k_;
};
