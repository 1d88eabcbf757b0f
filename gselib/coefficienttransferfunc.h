#pragma once

#include <gselib/transferfunc.h>

/**
 * @brief Base of the functions with a fixed number of coefficients, each with a default.
 *
 * Text form: the coefficients with "%.8f", separated by tabs. A short list, in a constructor or
 * in text, keeps the defaults (constructors) or zeros (text) for the missing coefficients.
 */
class CoefficientTransferFunc : public TransferFunc {
public:
    QString asString() const override { return fixedText(k_); }
    void change(const QString& text) override;
    const std::vector<double>& coefficients() const { return k_; }

protected:
    CoefficientTransferFunc(const std::vector<double>& k, const std::vector<double>& defaults)
        : k_(withDefaults(k, defaults)) {}

    std::vector<double> k_;
};
