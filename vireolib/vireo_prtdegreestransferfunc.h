#pragma once

#include <gselib/transferfunc.h>

/// @brief VIREO PRT counts to degrees Celsius: K1 x - K2.
class VIREO_PRTDegreesTransferFunc : public TransferFunc {
public:
    VIREO_PRTDegreesTransferFunc() = default;
    VIREO_PRTDegreesTransferFunc(double k1, double k2) : k1_(k1), k2_(k2) {}
    explicit VIREO_PRTDegreesTransferFunc(const QString& text) { change(text); }

    double apply(double x) const override { return k1_ * x - k2_; }
    QString asString() const override { return fixedText({k1_, k2_}); }
    void change(const QString& text) override;
    QString equationAsString() const override { return QStringLiteral("T = K1 * x - K2"); }
    QString description() const override { return QStringLiteral("VIREO PRT ADC to degrees C"); }

private:
    double k1_ = 1.0;
    double k2_ = 1.0;
};
