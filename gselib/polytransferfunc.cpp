#include <gselib/polytransferfunc.h>

PolyTransferFunc::PolyTransferFunc() {
    setCoefficients(std::vector<double>(8, 0.0));
}

PolyTransferFunc::PolyTransferFunc(const std::vector<double>& k) {
    setCoefficients(k);
}

PolyTransferFunc::PolyTransferFunc(double k1, double k2, double k3) {
    setCoefficients({k1, k2, k3});
}

PolyTransferFunc::PolyTransferFunc(const QString& text) : PolyTransferFunc() {
    change(text);
}

void PolyTransferFunc::setCoefficients(const std::vector<double>& k) {
    k_ = k;
    degree_ = 0;
    for (size_t i = k_.size(); i-- > 1;) {
        if (k_[i] != 0.0) {  // true for NaN too
            degree_ = static_cast<int>(i);
            break;
        }
    }
}

double PolyTransferFunc::evaluate(double x) const {
    if (k_.empty()) {
        return 0.0;
    }
    double y = k_[static_cast<size_t>(degree_)];
    for (int i = degree_ - 1; i >= 0; --i) {
        y = y * x + k_[static_cast<size_t>(i)];
    }
    return y;
}

double PolyTransferFunc::apply(double x) const {
    return evaluate(x);
}

QString PolyTransferFunc::asString() const {
    QString text = QStringLiteral("%1").arg(degree_);
    for (int i = 0; i <= degree_ && i < static_cast<int>(k_.size()); ++i) {
        text += QStringLiteral("\t%1").arg(k_[static_cast<size_t>(i)], 0, 'g', 8);
    }
    return text;
}

void PolyTransferFunc::change(const QString& text) {
    bool ok = false;
    int degree = text.section(QLatin1Char('\t'), 0, 0).trimmed().toInt(&ok);
    if (!ok) {
        degree = 0;
    }
    if (degree < 0) {
        return;
    }
    // A degree beyond the coefficients held grows the list rather than dropping terms.
    const std::vector<double> values = numberFields(text);
    std::vector<double> k = k_;
    if (k.size() < static_cast<size_t>(degree) + 1) {
        k.resize(static_cast<size_t>(degree) + 1, 0.0);
    }
    for (int i = 0; i <= degree; ++i) {
        const size_t field = static_cast<size_t>(i) + 1;
        k[static_cast<size_t>(i)] = field < values.size() ? values[field] : 0.0;
    }
    // The text's degree holds: coefficients above it are kept but not evaluated.
    k_ = std::move(k);
    degree_ = degree;
}

QString PolyTransferFunc::equationAsString() const {
    return QStringLiteral("y = K8 * x^7 + K7 * x^6 ... K2 * x + K1");
}

QString PolyTransferFunc::description() const {
    return QStringLiteral("Polynomial");
}
