#pragma once

#include <gselib/transferfunc.h>

/// @brief A 16.16 fixed-point value: upper 16 bits (signed) plus lower 16 bits / 65536.
class VIREO_Pt16x16DoubleTransferFunc : public TransferFunc {
public:
    VIREO_Pt16x16DoubleTransferFunc() = default;
    explicit VIREO_Pt16x16DoubleTransferFunc(const std::vector<double>& k) : k_(k) {}
    explicit VIREO_Pt16x16DoubleTransferFunc(const QString& text) { change(text); }

    double apply(double x) const override;
    QString asString() const override;
    void change(const QString& text) override;
    QString equationAsString() const override;
    QString description() const override { return QStringLiteral("VIREO PT 16x16 Double"); }

private:
    std::vector<double> k_;
};
