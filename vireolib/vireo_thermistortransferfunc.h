#pragma once

#include <gselib/transferfunc.h>

/// @brief Thermistor counts to degrees Celsius: R = K1 x / (K2 - x), then Steinhart-Hart with
/// 273.15.
class VIREO_ThermistorTransferFunc : public TransferFunc {
public:
    VIREO_ThermistorTransferFunc();
    explicit VIREO_ThermistorTransferFunc(const std::vector<double>& k);
    explicit VIREO_ThermistorTransferFunc(const QString& text);

    double apply(double x) const override;
    QString asString() const override { return fixedText(k_); }
    void change(const QString& text) override;
    QString equationAsString() const override;
    QString description() const override;

    const std::vector<double>& coefficients() const { return k_; }

private:
    std::vector<double> k_;
};
