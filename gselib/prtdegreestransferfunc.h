#pragma once

#include <gselib/coefficienttransferfunc.h>

/**
 * @brief Platinum resistance thermometer: the root T of K3 T^2 + K2 T + (K1 - x) = 0 nearer to
 * the linear estimate (x - K1) / K2.
 */
class PRTDegreesTransferFunc : public CoefficientTransferFunc {
public:
    PRTDegreesTransferFunc();
    PRTDegreesTransferFunc(double k1, double k2, double k3);
    explicit PRTDegreesTransferFunc(const QString& text);

    double apply(double x) const override;
    QString equationAsString() const override;
    QString description() const override;
};
