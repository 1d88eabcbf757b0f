#include <gselib/piecewisetransform.h>

#include <vector>

PiecewiseTransform::PiecewiseTransform(const QList<PiecewiseSection>& sections) {
    setSections(sections);
}

void PiecewiseTransform::setSections(const QList<PiecewiseSection>& sections) {
    sections_.clear();
    transforms_.clear();
    for (const PiecewiseSection& s : sections) {
        appendSection(s);
    }
}

void PiecewiseTransform::appendSection(const PiecewiseSection& section) {
    std::vector<double> xs;
    std::vector<double> ys;
    xs.reserve(static_cast<size_t>(section.points.size()));
    ys.reserve(static_cast<size_t>(section.points.size()));
    for (const auto& p : section.points) {
        xs.push_back(p.first);
        ys.push_back(p.second);
    }
    Transform t;
    t.fit(xs.data(), ys.data(), static_cast<unsigned>(xs.size()), section.degree);
    PiecewiseSection stored = section;
    stored.endRangeInverse = t.apply(section.endRange);
    transforms_.append(t);
    sections_.append(stored);
}

double PiecewiseTransform::apply(double x) const {
    if (sections_.isEmpty()) {
        return x;
    }
    for (qsizetype i = 0; i < sections_.size(); ++i) {
        if (sections_[i].endRange >= x) {
            return transforms_[i].apply(x);
        }
    }
    return transforms_.last().apply(x);
}

double PiecewiseTransform::inverse(double y) const {
    if (sections_.isEmpty()) {
        return y;
    }
    for (qsizetype i = 0; i < sections_.size(); ++i) {
        if (sections_[i].endRangeInverse >= y) {
            return transforms_[i].inverse(y);
        }
    }
    return transforms_.last().inverse(y);
}

QString PiecewiseTransform::toString() const {
    if (sections_.isEmpty()) {
        return QStringLiteral("Empty");
    }
    QString out;
    for (qsizetype i = 0; i < sections_.size(); ++i) {
        const PiecewiseSection& s = sections_[i];
        out += QStringLiteral("Section %1\nStart range: %2\nEnd range: %3\nEnd range inverse: %4\n")
                   .arg(i)
                   .arg(s.startRange)
                   .arg(s.endRange)
                   .arg(s.endRangeInverse);
        out += QStringLiteral("Values used to calculate transform:\n");
        for (const auto& p : s.points) {
            out += QStringLiteral("%1\t%2\n").arg(p.first).arg(p.second);
        }
        out += QStringLiteral("Transform state:\n%1\n\n").arg(transforms_[i].asString());
    }
    return out;
}
