#pragma once

#include <gselib/transferfunc.h>

/// @brief Controller thermistor behind the analogue multiplexer: R = K1 (x - 32768) / (K2 - x).
class VIREO_CtlAmuxThermistorTransferFunc : public TransferFunc {
public:
    VIREO_CtlAmuxThermistorTransferFunc();
    explicit VIREO_CtlAmuxThermistorTransferFunc(const std::vector<double>& k);
    explicit VIREO_CtlAmuxThermistorTransferFunc(const QString& text);

    double apply(double x) const override;
    QString asString() const override { return fixedText(k_); }
    void change(const QString& text) override;
    QString equationAsString() const override;
    QString description() const override;

    const std::vector<double>& coefficients() const { return k_; }

private:
    std::vector<double> k_;
};
