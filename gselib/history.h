#pragma once

#include <gselib/movingstats.h>

#include <QByteArray>
#include <QDataStream>
#include <QPointF>
#include <cstdint>

namespace ORLA {

/**
 * @brief Running statistics of one mnemonic over a window of samples or seconds.
 *
 * With neither a count nor an age limit nothing is stored. Feeds the history decoders.
 */
class History {
public:
    History() = default;
    History(int id, uint64_t maxCount, double maxAge);

    void addValue(double time, double value);
    void addValue(const QPointF& point) { addValue(point.x(), point.y()); }
    void clearValues() { stats_.clear(); }

    double maximum() const { return stats_.y().maximum(); }
    double minimum() const { return stats_.y().minimum(); }
    double mean() const { return stats_.count() ? stats_.y().mean() : 0.0; }
    /// Least-squares slope of value against time, per second.
    double rate() const { return stats_.slope(); }
    double sum() const { return static_cast<double>(stats_.count()) * mean(); }
    /// Squared deviations from the mean (M2).
    double sumOfSquares() const { return stats_.y().m2(); }
    /// True when no sample is held.
    bool null() const { return stats_.count() == 0; }
    size_t count() const { return stats_.count(); }

    int id() const { return id_; }
    uint64_t maxCount() const { return maxCount_; }
    double maxAge() const { return maxAge_; }

    /// Magic 0xDEADBEEF, version 1, then id, limits and the samples.
    QByteArray saveValues() const;
    /// @return false when bytes are not a saved history
    bool restoreValues(const QByteArray& bytes);

    bool operator==(const History& o) const;
    bool operator!=(const History& o) const { return !(*this == o); }

    friend QDataStream& operator<<(QDataStream& out, const History& h);
    friend QDataStream& operator>>(QDataStream& in, History& h);

private:
    int id_ = 0;
    uint64_t maxCount_ = 0;
    double maxAge_ = 0.0;
    Tools::MovingRegression stats_;
};

}  // namespace ORLA
