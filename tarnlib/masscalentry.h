#pragma once

#include <gselib/transform.h>

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <map>

namespace TarGse {

/**
 * @brief One mass-calibration curve: control value (bin number, RF monitor or RF DAC reading)
 * to m/z, a least-squares polynomial through calibration points.
 *
 * The polynomial is this transform itself, so an entry can close a chain of transforms. The
 * stored constants of a file are never trusted: the points are refitted on reading.
 */
class MassCalEntry : public Transform {
public:
    static const QString KEY_PHASE_CYCLE;
    static const QString KEY_ORDER;
    static const QString KEY_RMS;
    static const QString KEY_CONSTANTS;
    static const QString KEY_DATA_POINTS;
    static const QString KEY_CONTROL;
    static const QString KEY_AMU;
    /// The keys a version-2 entry must have.
    static const QStringList ALLKEYS;
    static constexpr int CONTROL_POS = 0;
    static constexpr int AMU_POS = 1;

    /// The identity, not valid, for the default phase cycle.
    MassCalEntry() = default;
    /// Parses one entry of a file of the given version (1: tab-separated text, 2: JSON object).
    MassCalEntry(int version, const QString& text);

    /// x unchanged for order 0, c0 + c1 x for order 1, c0 + c1 x + c2 x^2 above.
    double apply(double x) const override;
    using Transform::inverse;

    /// Adds (or replaces) a point and refits.
    void addDataPoint(double control, double amu);
    /// Removes a point and refits; false (nothing refitted) when there is none at control.
    bool removeDataPoint(double control);
    /// 1 (straight line) or 2 (parabola); other orders are ignored. Refits.
    void setOrder(int order);
    /// Fits the polynomial to the points: the identity with fewer than two.
    void calculateFit();

    QString toString() const;
    QJsonObject toJson() const;

    bool operator==(const MassCalEntry& o) const;
    bool operator!=(const MassCalEntry& o) const { return !(*this == o); }

    const std::map<double, double>& dataPoints() const { return dataPoints_; }
    const Transform& polynomial() const { return *this; }
    bool isValid() const { return valid_; }
    double rms() const { return rms_; }
    int phaseCycle() const { return phaseCycle_; }
    void setPhaseCycle(int phaseCycle) { phaseCycle_ = phaseCycle; }
    int order() const { return order_; }

private:
    void loadV1(const QString& text);
    /// Stores a point read from a file when both values are finite numbers.
    void addReadPoint(bool okControl, double control, bool okAmu, double amu);
    void loadV2(const QString& text);

    std::map<double, double> dataPoints_;
    bool valid_ = false;
    double rms_ = 0.0;
    int phaseCycle_ = -1;
    int order_ = 1;
};

}  // namespace TarGse
