#pragma once

#include <gselib/coefficienttransferfunc.h>

/// @brief VIREO PRT counts to degrees Celsius: K1 x - K2.
class VIREO_PRTDegreesTransferFunc : public CoefficientTransferFunc {
public:
    VIREO_PRTDegreesTransferFunc() : CoefficientTransferFunc({}, {1.0, 1.0}) {}
    VIREO_PRTDegreesTransferFunc(double k1, double k2)
        : CoefficientTransferFunc({k1, k2}, {k1, k2}) {}
    explicit VIREO_PRTDegreesTransferFunc(const QString& text) : VIREO_PRTDegreesTransferFunc() {
        change(text);
    }

    double apply(double x) const override { return k_[0] * x - k_[1]; }
    QString equationAsString() const override { return QStringLiteral("T = K1 * x - K2"); }
    QString description() const override { return QStringLiteral("VIREO PRT ADC to degrees C"); }
};
