#include <gselib/rationaltransferfunc.h>

namespace {

double horner(const std::vector<double>& c, double x) {
    double y = 0.0;
    for (auto it = c.rbegin(); it != c.rend(); ++it) {
        y = y * x + *it;
    }
    return y;
}

QString listText(const std::vector<double>& c) {
    QString text = QString::asprintf("%d", static_cast<int>(c.size()));
    for (double v : c) {
        text += QString::asprintf("\t%.8g", v);
    }
    return text;
}

// A count, then that many coefficients; missing ones read as 0.
std::vector<double> parseList(const QString& text) {
    const std::vector<double> fields = TransferFunc::numberFields(text);
    bool ok = false;
    const int count = text.section(QLatin1Char('\t'), 0, 0).trimmed().toInt(&ok);
    std::vector<double> out;
    for (int i = 0; ok && i < count; ++i) {
        const size_t f = static_cast<size_t>(i) + 1;
        out.push_back(f < fields.size() ? fields[f] : 0.0);
    }
    return out;
}

}  // namespace

RationalTransferFunc::RationalTransferFunc() = default;

RationalTransferFunc::RationalTransferFunc(const std::vector<double>& numerator,
                                           const std::vector<double>& denominator)
    : num_(numerator), den_(denominator) {}

RationalTransferFunc::RationalTransferFunc(const QString& text) {
    change(text);
}

double RationalTransferFunc::apply(double x) const {
    return horner(num_, x) / horner(den_, x);
}

QString RationalTransferFunc::asString() const {
    QString text = listText(num_);
    if (!(den_.size() == 1 && den_[0] == 1.0)) {
        text += QLatin1Char('/') + listText(den_);
    }
    return text;
}

void RationalTransferFunc::change(const QString& text) {
    const qsizetype slash = text.indexOf(QLatin1Char('/'));
    num_ = parseList(slash < 0 ? text : text.left(slash));
    den_ = parseList(slash < 0 ? QStringLiteral("1\t1.") : text.mid(slash + 1));
}

QString RationalTransferFunc::equationAsString() const {
    return QStringLiteral("Rational transfer function");
}

QString RationalTransferFunc::description() const {
    return QStringLiteral("Rational");
}
