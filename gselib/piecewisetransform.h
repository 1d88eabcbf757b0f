#pragma once

#include <gselib/basetransform.h>
#include <gselib/transform.h>

#include <QList>
#include <QPair>
#include <QString>

/// One section of calibration points of a piecewise transform.
struct PiecewiseSection {
    double startRange = 0.0;
    double endRange = 0.0;
    /// Set when the section is added: the section's transform applied to endRange.
    double endRangeInverse = 0.0;
    QList<QPair<double, double>> points;
    int degree = 1;
};

/**
 * @brief One fitted transform per section of calibration points.
 *
 * apply(x) uses the first section whose end range is not below x, or the last section beyond
 * them all; inverse(y) does the same with the sections' end range inverses.
 */
class PiecewiseTransform : public BaseTransform {
public:
    PiecewiseTransform() = default;
    explicit PiecewiseTransform(const QList<PiecewiseSection>& sections);

    void setSections(const QList<PiecewiseSection>& sections);
    /// Fits a transform to the section's points and appends both.
    void appendSection(const PiecewiseSection& section);

    double apply(double x) const override;
    double inverse(double y) const override;
    QString toString() const;

    QList<PiecewiseSection> sections() const { return sections_; }
    QList<Transform> transforms() const { return transforms_; }

private:
    QList<PiecewiseSection> sections_;
    QList<Transform> transforms_;
};
