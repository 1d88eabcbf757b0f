#pragma once

#include <gselib/polytransferfunc.h>

/**
 * @brief Reads the low 32 bits of a raw value as an IEEE single-precision float, then applies
 * the polynomial to it.
 */
class RawToDouble : public PolyTransferFunc {
public:
    RawToDouble() = default;
    explicit RawToDouble(const std::vector<double>& k) : PolyTransferFunc(k) {}
    /// The defaults; the text itself is ignored.
    explicit RawToDouble(const QString&) {}

    double apply(double x) const override;
    QString asString() const override { return QString(); }
    void change(const QString&) override {}
    QString equationAsString() const override;
    QString description() const override;
};
