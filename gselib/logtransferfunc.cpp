#include <gselib/logtransferfunc.h>

#include <cmath>

LogTransferFunc::LogTransferFunc(const std::vector<double>& k) : k_(withDefaults(k, {0, 0, 0})) {}

double LogTransferFunc::apply(double x) const {
    if (x <= 0.0 || k_[2] <= 0.0) {
        return 0.0;
    }
    return k_[1] * std::log(x) / std::log(k_[2]) + k_[0];
}

QString LogTransferFunc::equationAsString() const {
    return QStringLiteral("y = K2 * logK3(x) + K1");
}

QString LogTransferFunc::description() const {
    return QStringLiteral("Log");
}
