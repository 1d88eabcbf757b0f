#pragma once

#include <gselib/adc2ohmstransferfunc.h>
#include <gselib/coefficienttransferfunc.h>

#include <memory>

/**
 * @brief ADC counts of a thermistor divider to degrees Celsius.
 *
 * A resistance stage built from K1 and K2 gives R = K2 (x - K1) / (65536 - x); then
 * T = 1 / (K3 + K4 ln R + K5 ln^3 R) - 273.13. The stage is rebuilt whenever K1 or K2 change.
 */
class DegreesTransferFunc : public CoefficientTransferFunc {
public:
    DegreesTransferFunc();
    explicit DegreesTransferFunc(const std::vector<double>& k);
    explicit DegreesTransferFunc(const QString& text);
    DegreesTransferFunc(const DegreesTransferFunc& other);
    DegreesTransferFunc& operator=(const DegreesTransferFunc& other);

    double apply(double x) const override;
    void change(const QString& text) override;
    QString equationAsString() const override;
    QString description() const override;

    std::shared_ptr<const ADC2OhmsTransferFunc> resistanceStage() const { return ohms_; }

private:
    void rebuildStage();

    std::shared_ptr<ADC2OhmsTransferFunc> ohms_;
};
