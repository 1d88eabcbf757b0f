#pragma once

#include <gselib/transferfunc.h>

/// @brief K2 log_K3(x) + K1; 0.0 for a non-positive x or base.
class LogTransferFunc : public TransferFunc {
public:
    explicit LogTransferFunc(const std::vector<double>& k);
    double apply(double x) const override;
    QString asString() const override { return QStringLiteral("Not implemented"); }
    void change(const QString&) override {}
    QString equationAsString() const override;
    QString description() const override;

private:
    std::vector<double> k_;
};
