#pragma once

#include <gselib/transferfunc.h>

/// @brief N(x) / D(x), both polynomials lowest power first; an empty list evaluates to 0.
class RationalTransferFunc : public TransferFunc {
public:
    /// Numerator (0, 1), denominator (1): the identity.
    RationalTransferFunc();
    RationalTransferFunc(const std::vector<double>& numerator,
                         const std::vector<double>& denominator);
    explicit RationalTransferFunc(const QString& text);

    double apply(double x) const override;
    /// Count and coefficients of the numerator, then "/" and the denominator unless it is 1.
    QString asString() const override;
    void change(const QString& text) override;
    QString equationAsString() const override;
    QString description() const override;

    const std::vector<double>& numerator() const { return num_; }
    const std::vector<double>& denominator() const { return den_; }

private:
    std::vector<double> num_{0.0, 1.0};
    std::vector<double> den_{1.0};
};
