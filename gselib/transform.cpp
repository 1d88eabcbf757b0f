#include <gselib/transform.h>

#include <gselib/polyfit.h>
#include <tools/logger/eventmessage.h>

#include <QStringList>
#include <cmath>

Transform::Transform(double a, double b, double c) {
    setCoefficients(a, b, c);
}

Transform::Transform(double x1, double y1, double x2, double y2) {
    change(x1, y1, x2, y2);
}

Transform::Transform(const QString& text) {
    change(text);
}

void Transform::setCoefficients(double a, double b, double c) {
    a_ = a;
    b_ = b;
    c_ = c;
    // Written so that a NaN compares unequal to every number.
    if (c != 0.0) {
        type_ = Quadratic;
    } else if (a == 0.0 && b == 1.0) {
        type_ = Identity;
    } else {
        type_ = Linear;
    }
}

void Transform::change(double a, double b, double c) {
    setCoefficients(a, b, c);
}

void Transform::change(double x1, double y1, double x2, double y2) {
    c_ = 0.0;
    type_ = Linear;
    if (x1 == x2 || y1 == y2) {
        a_ = 0.0;
        b_ = 1.0;
        return;
    }
    b_ = (y2 - y1) / (x2 - x1);
    a_ = y2 - x2 * b_;
}

void Transform::change(const QString& text) {
    const QStringList fields = text.split(QLatin1Char('\t'));
    auto number = [&](int i) {
        bool ok = false;
        const double v = i < fields.size() ? fields.at(i).trimmed().toDouble(&ok) : 0.0;
        return ok ? v : 0.0;
    };
    bool ok = false;
    const int type = fields.isEmpty() ? 0 : fields.at(0).trimmed().toInt(&ok);
    type_ = ok ? type : 0;
    a_ = number(1);
    b_ = number(2);
    c_ = number(3);
}

QString Transform::asString() const {
    return QString::asprintf("%d\t%.8g\t%.8g\t%.8g", type_, a_, b_, c_);
}

QString Transform::asText(const QString& prefix) const {
    return prefix + QString::asprintf("%.4g\t%.4g\t%.4g", c_, b_, a_);
}

double Transform::apply(double x) const {
    switch (type_) {
        case Identity:
            return x;
        case Linear:
            return b_ * x + a_;
        case Quadratic:
            return c_ * x * x + b_ * x + a_;
        default:
            // A type read from text that is none of the three: keep the value.
            return x;
    }
}

double Transform::inverse(double y) const {
    switch (type_) {
        case Identity:
            return y;
        case Linear:
            return (y - a_) / b_;
        case Quadratic:
            return quadRoot(y);
        default:
            return y;
    }
}

double Transform::quadRoot(double y) const {
    const double k = a_ - y;
    const double s = std::sqrt(b_ * b_ - 4.0 * c_ * k);
    const double q = b_ >= 0.0 ? (s - b_) / 2.0 : (-b_ - s) / 2.0;
    const double r1 = q / c_;
    if (q == 0.0) {
        return r1;
    }
    const double r2 = k / q;
    const double e = b_ != 0.0 ? (y - a_) / b_ : 0.0;
    return std::fabs(e - r1) < std::fabs(e - r2) ? r1 : r2;
}

double Transform::slope() const {
    if (type_ == Linear) {
        return b_;
    }
    return (apply(20.0) - apply(10.0)) / 10.0;
}

double Transform::fit(const double* x, const double* y, unsigned n, int degree) {
    // Three coefficients hold degrees 0 to 2. The square-root basis of a negative degree is not
    // a polynomial in x, and applying its coefficients as one would give wrong values silently.
    if (degree < 0 || degree > 2) {
        GSE_LOG_WARN("transform", QStringLiteral("Transform::fit: unsupported degree %1, "
                                                 "transform left unchanged")
                                      .arg(degree));
        return 0.0;
    }
    double buffer[3] = {0.0, 0.0, 0.0};
    double chisq = 100.0;
    if (PolyFit(x, y, static_cast<int>(n), degree, buffer, &chisq) != 0) {
        return 0.0;
    }
    const double r = CorrelationCoefficient(y, static_cast<int>(n % 65536u), chisq);
    setCoefficients(buffer[0], buffer[1], buffer[2]);
    return r;
}
