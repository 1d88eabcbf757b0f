#pragma once

#include <gselib/coefficienttransferfunc.h>

/// @brief Sense-wire temperature: a = K6 - x, T = K1 + K2 a + K3 a^2 + K4 a^3 + K5 a^4.
class SenseWireTransferFunc : public CoefficientTransferFunc {
public:
    SenseWireTransferFunc();
    explicit SenseWireTransferFunc(const std::vector<double>& k);
    explicit SenseWireTransferFunc(const QString& text);

    double apply(double x) const override;
    QString equationAsString() const override {
        return QStringLiteral("a = K4 - ADC\nT = K3 * a * a + K2 * a + K1");
    }
    QString description() const override { return QStringLiteral("Pyrosense ADC to degrees "); }
};
