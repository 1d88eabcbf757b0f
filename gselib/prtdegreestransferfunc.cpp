#include <gselib/prtdegreestransferfunc.h>

#include <cmath>

PRTDegreesTransferFunc::PRTDegreesTransferFunc() = default;

PRTDegreesTransferFunc::PRTDegreesTransferFunc(double k1, double k2, double k3)
    : k1_(k1), k2_(k2), k3_(k3) {}

PRTDegreesTransferFunc::PRTDegreesTransferFunc(const QString& text) {
    change(text);
}

double PRTDegreesTransferFunc::apply(double x) const {
    if (k3_ == 0.0) {
        return (x - k1_) / k2_;
    }
    const double c = k1_ - x;
    double r1;
    double r2;
    if (c == 0.0) {
        r1 = 0.0;
        r2 = -k2_ / k3_;
    } else if (k2_ == 0.0) {
        r1 = std::sqrt(-c / k3_);
        r2 = -r1;
    } else {
        // The two forms of the root that avoid cancelling k2 against the square root.
        const double d = std::sqrt(k2_ * k2_ - 4.0 * k3_ * c);
        const double q = k2_ > 0.0 ? -k2_ - d : d - k2_;
        r1 = q / (2.0 * k3_);
        r2 = 2.0 * c / q;
    }
    const double e = k2_ != 0.0 ? (x - k1_) / k2_ : 0.0;
    return std::fabs(r1 - e) < std::fabs(r2 - e) ? r1 : r2;
}

QString PRTDegreesTransferFunc::asString() const {
    return fixedText({k1_, k2_, k3_});
}

void PRTDegreesTransferFunc::change(const QString& text) {
    const std::vector<double> k = withDefaults(numberFields(text), {0, 0, 0});
    k1_ = k[0];
    k2_ = k[1];
    k3_ = k[2];
}

QString PRTDegreesTransferFunc::equationAsString() const {
    return QStringLiteral("ADC = K1 + K2 * x + K3 * x * x\nT = quadRoot(ADC)");
}

QString PRTDegreesTransferFunc::description() const {
    return QStringLiteral("PRT ADC to degrees");
}
