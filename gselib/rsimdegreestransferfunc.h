#pragma once

#include <gselib/transferfunc.h>

/// @brief Simulated-resistance temperature: Rp = K1 / (1/x - 1), T = (K4 Rp + K3) Rp + K2.
class RSimDegreesTransferFunc : public TransferFunc {
public:
    RSimDegreesTransferFunc();
    explicit RSimDegreesTransferFunc(const std::vector<double>& k);
    explicit RSimDegreesTransferFunc(const QString& text);

    double apply(double x) const override;
    QString asString() const override;
    void change(const QString& text) override;
    QString equationAsString() const override;
    QString description() const override;

    const std::vector<double>& coefficients() const { return k_; }

private:
    std::vector<double> k_;
};
