#pragma once

#include <gselib/rationaltransferfunc.h>

/// @brief ADC counts of a resistor divider to ohms: K2 (x - K1) / (65536 - x).
class ADC2OhmsTransferFunc : public RationalTransferFunc {
public:
    using RationalTransferFunc::RationalTransferFunc;
    /// The divider with offset k1 and reference resistance k2.
    static ADC2OhmsTransferFunc fromDivider(double k1, double k2);
    QString equationAsString() const override;
    QString description() const override;
};
