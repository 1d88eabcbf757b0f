#pragma once

#include <gselib/coefficienttransferfunc.h>

/// @brief Simulated-resistance temperature: Rp = K1 / (1/x - 1), T = (K4 Rp + K3) Rp + K2.
class RSimDegreesTransferFunc : public CoefficientTransferFunc {
public:
    RSimDegreesTransferFunc();
    explicit RSimDegreesTransferFunc(const std::vector<double>& k);
    explicit RSimDegreesTransferFunc(const QString& text);

    double apply(double x) const override;
    QString equationAsString() const override {
        return QStringLiteral("Rp = K1 * ((1 / x) - 1)\nT = K4 * Rp * Rp + K3 * Rp + K2");
    }
    QString description() const override { return QStringLiteral("RSIM degrees"); }
};
