#pragma once

#include <gselib/transferfunc.h>

/// @brief Sense-wire temperature: a = K6 - x, T = K1 + K2 a + K3 a^2 + K4 a^3 + K5 a^4.
class SenseWireTransferFunc : public TransferFunc {
public:
    SenseWireTransferFunc();
    explicit SenseWireTransferFunc(const std::vector<double>& k);
    explicit SenseWireTransferFunc(const QString& text);

    double apply(double x) const override;
    QString asString() const override;
    void change(const QString& text) override;
    QString equationAsString() const override;
    QString description() const override;

    const std::vector<double>& coefficients() const { return k_; }

private:
    std::vector<double> k_;
};
