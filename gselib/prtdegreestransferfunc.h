#pragma once

#include <gselib/transferfunc.h>

/**
 * @brief Platinum resistance thermometer: the root T of K3 T^2 + K2 T + (K1 - x) = 0 nearer to
 * the linear estimate (x - K1) / K2.
 */
class PRTDegreesTransferFunc : public TransferFunc {
public:
    PRTDegreesTransferFunc();
    PRTDegreesTransferFunc(double k1, double k2, double k3);
    explicit PRTDegreesTransferFunc(const QString& text);

    double apply(double x) const override;
    QString asString() const override;
    void change(const QString& text) override;
    QString equationAsString() const override;
    QString description() const override;

private:
    double k1_ = 1.0;
    double k2_ = 1.0;
    double k3_ = 0.0;
};
