#pragma once

#include <gselib/polytransferfunc.h>

/// @brief ADC counts to volts: a straight line centred on mid-scale.
class ADC2VoltsTransferFunc : public PolyTransferFunc {
public:
    using PolyTransferFunc::PolyTransferFunc;
    QString equationAsString() const override;
    QString description() const override;
};
