#pragma once

#include <gselib/transferfunc.h>

/// @brief Controller-board thermistor: R = K1 x / (K2 - x), then Steinhart-Hart with 273.15.
class VIREO_CtlThermistorTransferFunc : public TransferFunc {
public:
    VIREO_CtlThermistorTransferFunc();
    explicit VIREO_CtlThermistorTransferFunc(const std::vector<double>& k);
    explicit VIREO_CtlThermistorTransferFunc(const QString& text);

    double apply(double x) const override;
    QString asString() const override { return fixedText(k_); }
    void change(const QString& text) override;
    QString equationAsString() const override;
    QString description() const override;

    const std::vector<double>& coefficients() const { return k_; }

private:
    std::vector<double> k_;
};
