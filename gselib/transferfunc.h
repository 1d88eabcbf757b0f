#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

/**
 * @brief A conversion of one number into another (raw to engineering, engineering to science).
 *
 * Database rows select their functions by equation-type number through `TransferFuncFactory`.
 * Coefficients are named K1, K2, ... in list order. Numeric faults (division by zero, logarithm
 * of a non-positive number) give infinities or NaN, never an error.
 */
class TransferFunc {
public:
    virtual ~TransferFunc();
    virtual double apply(double x) const = 0;
    /// The coefficients as editable, tab-separated text.
    virtual QString asString() const = 0;
    /// Replaces the coefficients from text in the `asString` form; unparsable fields read as 0.
    virtual void change(const QString& text) = 0;
    virtual QString equationAsString() const = 0;
    virtual QString description() const = 0;

    /// The tab-separated fields of text as doubles; fields that are not numbers read as 0.
    static std::vector<double> numberFields(const QString& text);
    /// k padded with (or cut to) the entries of defaults beyond its length.
    static std::vector<double> withDefaults(const std::vector<double>& k,
                                            const std::vector<double>& defaults);
    /// The values joined by tabs, each printed with "%.8f".
    static QString fixedText(const std::vector<double>& values);
    /// 1 / (a + b L + c L^3) - kelvin with L = ln(r): the Steinhart-Hart family of sensors.
    static double steinhartHart(double r, double a, double b, double c, double kelvin);
};

using TransferFuncPtr = std::shared_ptr<TransferFunc>;
