#pragma once

#include <gselib/rationaltransferfunc.h>

/// @brief VIREO divider counts to ohms: (K1 x) / (65536 - x).
class VIREO_ADC2OhmsTransferFunc : public RationalTransferFunc {
public:
    using RationalTransferFunc::RationalTransferFunc;
    QString equationAsString() const override { return QStringLiteral("(K1 * x) / (65536 - x)"); }
    QString description() const override { return QStringLiteral("ADC to Ohms"); }
};
