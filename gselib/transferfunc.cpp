#include <gselib/transferfunc.h>

#include <cmath>

TransferFunc::~TransferFunc() = default;

std::vector<double> TransferFunc::numberFields(const QString& text) {
    std::vector<double> out;
    const QStringList fields = text.split(QLatin1Char('\t'));
    out.reserve(static_cast<size_t>(fields.size()));
    for (const QString& f : fields) {
        bool ok = false;
        const double v = f.trimmed().toDouble(&ok);
        out.push_back(ok ? v : 0.0);
    }
    return out;
}

std::vector<double> TransferFunc::withDefaults(const std::vector<double>& k,
                                               const std::vector<double>& defaults) {
    std::vector<double> out = defaults;
    for (size_t i = 0; i < out.size() && i < k.size(); ++i) {
        out[i] = k[i];
    }
    return out;
}

QString TransferFunc::fixedText(const std::vector<double>& values) {
    QStringList parts;
    for (double v : values) {
        parts.append(QString::asprintf("%.8f", v));
    }
    return parts.join(QLatin1Char('\t'));
}

double TransferFunc::steinhartHart(double r, double a, double b, double c, double kelvin) {
    const double l = std::log(r);
    return 1.0 / (a + b * l + c * l * l * l) - kelvin;
}
