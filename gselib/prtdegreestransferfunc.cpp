#include <gselib/prtdegreestransferfunc.h>

#include <cmath>

PRTDegreesTransferFunc::PRTDegreesTransferFunc() : CoefficientTransferFunc({}, {1.0, 1.0, 0.0}) {}

PRTDegreesTransferFunc::PRTDegreesTransferFunc(double k1, double k2, double k3)
    : CoefficientTransferFunc({k1, k2, k3}, {k1, k2, k3}) {}

PRTDegreesTransferFunc::PRTDegreesTransferFunc(const QString& text) : PRTDegreesTransferFunc() {
    change(text);
}

double PRTDegreesTransferFunc::apply(double x) const {
    const double k1 = k_[0];
    const double k2 = k_[1];
    const double k3 = k_[2];
    if (k3 == 0.0) {
        return (x - k1) / k2;
    }
    const double c = k1 - x;
    double r1;
    double r2;
    if (c == 0.0) {
        r1 = 0.0;
        r2 = -k2 / k3;
    } else if (k2 == 0.0) {
        r1 = std::sqrt(-c / k3);
        r2 = -r1;
    } else {
        // The two forms of the root that avoid cancelling k2 against the square root.
        const double d = std::sqrt(k2 * k2 - 4.0 * k3 * c);
        const double q = k2 > 0.0 ? -k2 - d : d - k2;
        r1 = q / (2.0 * k3);
        r2 = 2.0 * c / q;
    }
    const double e = k2 != 0.0 ? (x - k1) / k2 : 0.0;
    return std::fabs(r1 - e) < std::fabs(r2 - e) ? r1 : r2;
}

QString PRTDegreesTransferFunc::equationAsString() const {
    return QStringLiteral("ADC = K1 + K2 * x + K3 * x * x\nT = quadRoot(ADC)");
}

QString PRTDegreesTransferFunc::description() const {
    return QStringLiteral("PRT ADC to degrees");
}
