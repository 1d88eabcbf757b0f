#include <gselib/discretelabel.h>

#include <QStringList>
#include <cmath>
#include <limits>

namespace GseLib {

namespace {

bool looksFractional(const QString& s) {
    return s.contains(QLatin1Char('.')) || s.contains(QLatin1Char('e')) ||
           s.contains(QLatin1Char('E'));
}

double asDouble(const DiscreteLabel::Bound& b) {
    return std::visit([](auto v) { return static_cast<double>(v); }, b);
}

long long truncated(const DiscreteLabel::Bound& b) {
    if (const auto* i = std::get_if<long long>(&b)) {
        return *i;
    }
    const double d = std::trunc(std::get<double>(b));
    if (!(d > -9.2e18 && d < 9.2e18)) {
        return d < 0 ? std::numeric_limits<long long>::min()
                     : std::numeric_limits<long long>::max();
    }
    return static_cast<long long>(d);
}

QString boundText(const DiscreteLabel::Bound& b) {
    if (const auto* i = std::get_if<long long>(&b)) {
        return QString::number(*i);
    }
    return QString::number(std::get<double>(b), 'g', 17);
}

}  // namespace

DiscreteLabel::DiscreteLabel(const QString& text) {
    const QStringList pieces = text.split(QLatin1Char('='));
    if (fromString(pieces.first(), pieces.last(), QString())) {
        text_ = text;
    }
}

DiscreteLabel::DiscreteLabel(const QString& range, const QString& label, const QString& altLabel) {
    if (fromString(range, label, altLabel)) {
        text_ = min_ == max_
                    ? QStringLiteral("%1=%2").arg(boundText(min_), label_)
                    : QStringLiteral("%1..%2=%3").arg(boundText(min_), boundText(max_), label_);
    }
}

bool DiscreteLabel::fromString(const QString& range, const QString& label,
                               const QString& altLabel) {
    *this = DiscreteLabel();
    const QStringList pieces = range.split(QStringLiteral(".."));
    if (pieces.size() > 2) {
        return false;
    }
    const QString lo = pieces.first().trimmed();
    const QString hi = pieces.last().trimmed();
    bool okLo = false;
    bool okHi = false;
    if (looksFractional(lo) || looksFractional(hi)) {
        const double a = lo.toDouble(&okLo);
        const double b = hi.toDouble(&okHi);
        if (!okLo || !okHi) {
            return false;
        }
        min_ = a;
        max_ = b;
    } else {
        const long long a = lo.toLongLong(&okLo, 10);
        const long long b = hi.toLongLong(&okHi, 10);
        if (!okLo || !okHi) {
            return false;
        }
        min_ = a;
        max_ = b;
    }
    if (asDouble(min_) > asDouble(max_)) {
        std::swap(min_, max_);
        reversed_ = true;
    }
    hasRange_ = true;
    label_ = label.isEmpty() ? altLabel : label;
    altLabel_ = altLabel;
    return true;
}

bool DiscreteLabel::contains(long long v) const {
    return hasRange_ && truncated(min_) <= v && v <= truncated(max_);
}

bool DiscreteLabel::contains(double v) const {
    return hasRange_ && asDouble(min_) <= v && v <= asDouble(max_);
}

double DiscreteLabel::minValue() const {
    return hasRange_ ? asDouble(min_) : std::numeric_limits<double>::infinity();
}

double DiscreteLabel::maxValue() const {
    return hasRange_ ? asDouble(max_) : -std::numeric_limits<double>::infinity();
}

bool DiscreteLabel::operator==(const DiscreteLabel& o) const {
    return min_ == o.min_ && max_ == o.max_ && altLabel_ == o.altLabel_ && label_ == o.label_ &&
           text_ == o.text_ && reversed_ == o.reversed_ && hasRange_ == o.hasRange_;
}

}  // namespace GseLib
