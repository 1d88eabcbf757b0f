#pragma once

#include <gselib/transferfunc.h>

/**
 * @brief Polynomial K1 + K2 x + ... up to the degree, by Horner's rule.
 *
 * The degree is the index of the last coefficient that is not zero (NaN counts as not zero).
 */
class PolyTransferFunc : public TransferFunc {
public:
    /// Eight zero coefficients, degree 0.
    PolyTransferFunc();
    explicit PolyTransferFunc(const std::vector<double>& k);
    PolyTransferFunc(double k1, double k2, double k3);
    explicit PolyTransferFunc(const QString& text);

    double apply(double x) const override;
    QString asString() const override;
    void change(const QString& text) override;
    QString equationAsString() const override;
    QString description() const override;

    const std::vector<double>& coefficients() const { return k_; }
    int degree() const { return degree_; }

protected:
    double evaluate(double x) const;
    void setCoefficients(const std::vector<double>& k);

private:
    std::vector<double> k_;
    int degree_ = 0;
};
