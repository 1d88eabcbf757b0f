#pragma once

#include <gselib/transferfunc.h>

/// @brief 10 kOhm thermistor: R = 1 / (K1 / x - K2), then Steinhart-Hart with 273.15.
class VIREO_10kThermistorTransferFunc : public TransferFunc {
public:
    VIREO_10kThermistorTransferFunc();
    explicit VIREO_10kThermistorTransferFunc(const std::vector<double>& k);
    explicit VIREO_10kThermistorTransferFunc(const QString& text);

    double apply(double x) const override;
    QString asString() const override { return fixedText(k_); }
    void change(const QString& text) override;
    QString equationAsString() const override;
    QString description() const override;

    const std::vector<double>& coefficients() const { return k_; }

private:
    std::vector<double> k_;
};
