#pragma once

#include <gselib/basetransform.h>

#include <QString>
#include <cstdint>

/**
 * @brief Identity, straight line or parabola y = a + b x + c x^2, with an exact inverse.
 *
 * Setting coefficients from numbers picks the type: 2 when c is not 0, else 0 when a = 0 and
 * b = 1, else 1. The text form (`asString`/`change(QString)`) keeps the type as written.
 */
class Transform : public BaseTransform {
public:
    enum Type { Identity = 0, Linear = 1, Quadratic = 2 };

    Transform() = default;
    Transform(double a, double b, double c);
    /// The straight line through two points; degenerate points give a = 0, b = 1 (type 1).
    Transform(double x1, double y1, double x2, double y2);
    /// Tab-separated type, a, b, c; fields that are not numbers read as 0.
    explicit Transform(const QString& text);

    void change(double a, double b, double c);
    void change(double x1, double y1, double x2, double y2);
    void change(const QString& text);

    /// "type\ta\tb\tc" with %.8g numbers: the form `change(QString)` reads.
    QString asString() const;
    /// prefix followed by c, b and a, highest power first, with %.4g numbers.
    QString asText(const QString& prefix) const;

    double apply(double x) const override;
    double apply(float x) const { return apply(static_cast<double>(x)); }
    double apply(int8_t x) const { return apply(static_cast<double>(x)); }
    double apply(uint8_t x) const { return apply(static_cast<double>(x)); }
    double apply(int16_t x) const { return apply(static_cast<double>(x)); }
    double apply(uint16_t x) const { return apply(static_cast<double>(x)); }
    double apply(int32_t x) const { return apply(static_cast<double>(x)); }
    double apply(uint32_t x) const { return apply(static_cast<double>(x)); }
    double apply(int64_t x) const { return apply(static_cast<double>(x)); }
    double apply(uint64_t x) const { return apply(static_cast<double>(x)); }
    double inverse(double y) const override;
    /// The root of a + b x + c x^2 = y nearer to the linear estimate (y - a) / b.
    double quadRoot(double y) const;
    double slope() const;

    /**
     * Least-squares fit of degree 0, 1 or 2 to n points.
     * @return the correlation coefficient, or 0.0 (coefficients unchanged) when the fit fails or
     *         the degree does not fit in three coefficients
     */
    double fit(const double* x, const double* y, unsigned n, int degree);

    double a() const { return a_; }
    double b() const { return b_; }
    double c() const { return c_; }
    int type() const { return type_; }

    bool operator==(const Transform& o) const {
        return a_ == o.a_ && b_ == o.b_ && c_ == o.c_ && type_ == o.type_;
    }
    bool operator!=(const Transform& o) const { return !(*this == o); }

private:
    void setCoefficients(double a, double b, double c);

    double a_ = 0.0;
    double b_ = 1.0;
    double c_ = 0.0;
    int type_ = Identity;
};
