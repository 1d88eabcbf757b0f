#pragma once

#include <gselib/transferfunc.h>

/// @brief K2 ln(x) + K1.
class NaturalLogTransferFunc : public TransferFunc {
public:
    explicit NaturalLogTransferFunc(const std::vector<double>& k);
    double apply(double x) const override;
    QString asString() const override { return QStringLiteral("Not implemented"); }
    void change(const QString&) override {}
    QString equationAsString() const override;
    QString description() const override;

private:
    std::vector<double> k_;
};
