#pragma once

#include <gselib/transferfunc.h>

/**
 * @brief A two's-complement fixed-point field of K1 bits with K2 fractional bits, to a signed
 * value.
 */
class TwosComplementTransferFunc : public TransferFunc {
public:
    explicit TwosComplementTransferFunc(const std::vector<double>& k);
    double apply(double x) const override;
    QString asString() const override { return QStringLiteral("Not implemented"); }
    void change(const QString&) override {}
    QString equationAsString() const override;
    QString description() const override;

private:
    std::vector<double> k_;
};
