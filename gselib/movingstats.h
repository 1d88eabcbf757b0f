#pragma once

#include <cstddef>
#include <deque>

namespace Tools {

/**
 * @brief Count, mean, sum of squared deviations (M2), minimum and maximum of a window of
 * samples, updated incrementally as samples enter at the back and leave at the front.
 */
class MovingStats {
public:
    /// Welford's update.
    void push_back(double x);
    /// Reverses Welford's update for the oldest sample.
    void pop_front();
    void clear();

    size_t count() const { return samples_.size(); }
    double mean() const { return mean_; }
    double m2() const { return m2_; }
    double minimum() const { return min_; }
    double maximum() const { return max_; }
    const std::deque<double>& samples() const { return samples_; }

    bool operator==(const MovingStats& o) const { return samples_ == o.samples_; }

private:
    void rescanExtremes();

    std::deque<double> samples_;
    double mean_ = 0.0;
    double m2_ = 0.0;
    double min_ = 0.0;
    double max_ = 0.0;
};

/**
 * @brief Moving statistics of (x, y) pairs with their co-moment, for a least-squares slope.
 */
class MovingRegression {
public:
    void push_back(double x, double y);
    void pop_front();
    void clear();

    const MovingStats& x() const { return x_; }
    const MovingStats& y() const { return y_; }
    size_t count() const { return x_.count(); }
    /// Sum of (x - mean x)(y - mean y).
    double coMoment() const { return c_; }
    /// Least-squares slope of y against x; not a number with fewer than two samples.
    double slope() const;

    bool operator==(const MovingRegression& o) const { return x_ == o.x_ && y_ == o.y_; }

private:
    MovingStats x_;
    MovingStats y_;
    double c_ = 0.0;
};

}  // namespace Tools
