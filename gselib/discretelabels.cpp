#include <gselib/discretelabels.h>

#include <QStringList>
#include <algorithm>

namespace GseLib {

DiscreteLabels DiscreteLabels::fromString(const QString& text) {
    DiscreteLabels labels;
    for (const QString& part : text.split(QLatin1Char(';'))) {
        labels.insert(DiscreteLabel(part));
    }
    return labels;
}

void DiscreteLabels::insert(const DiscreteLabel& label) {
    const auto pos =
        std::upper_bound(labels_.begin(), labels_.end(), label.minValue(),
                         [](double min, const DiscreteLabel& l) { return min < l.minValue(); });
    labels_.insert(pos, label);
}

QString DiscreteLabels::label(long long value) const {
    for (const DiscreteLabel& l : labels_) {
        if (l.contains(value)) {
            return l.label();
        }
    }
    return QString();
}

QString DiscreteLabels::label(double value) const {
    for (const DiscreteLabel& l : labels_) {
        if (l.contains(value)) {
            return l.label();
        }
    }
    return QString();
}

QString DiscreteLabels::toString() const {
    QStringList texts;
    for (const DiscreteLabel& l : labels_) {
        texts.append(l.text());
    }
    return texts.join(QLatin1Char(';'));
}

std::vector<std::tuple<double, double, QString>> DiscreteLabels::toVector() const {
    std::vector<std::tuple<double, double, QString>> out;
    for (const DiscreteLabel& l : labels_) {
        if (l.hasRange()) {
            out.emplace_back(l.minValue(), l.maxValue(), l.label());
        }
    }
    return out;
}

QMap<QString, QString> DiscreteLabels::toMap() const {
    QMap<QString, QString> out;
    for (const DiscreteLabel& l : labels_) {
        if (!l.hasRange()) {
            continue;
        }
        const QString key =
            l.minValue() == l.maxValue()
                ? QString::number(l.minValue(), 'g', 17)
                : QStringLiteral("%1..%2").arg(QString::number(l.minValue(), 'g', 17),
                                               QString::number(l.maxValue(), 'g', 17));
        out.insert(key, l.label());
    }
    return out;
}

}  // namespace GseLib
