#include <gselib/movingstats.h>

#include <algorithm>
#include <limits>

namespace Tools {

void MovingStats::push_back(double x) {
    const double n = static_cast<double>(samples_.size());
    samples_.push_back(x);
    if (n == 0) {
        mean_ = x;
        m2_ = 0.0;
        min_ = x;
        max_ = x;
        return;
    }
    const double oldMean = mean_;
    mean_ += (x - mean_) / (n + 1);
    m2_ += (x - mean_) * (x - oldMean);
    min_ = std::min(min_, x);
    max_ = std::max(max_, x);
}

void MovingStats::pop_front() {
    if (samples_.empty()) {
        return;
    }
    const double x = samples_.front();
    samples_.pop_front();
    const double n = static_cast<double>(samples_.size());
    if (n == 0) {
        clear();
        return;
    }
    const double oldMean = mean_;
    mean_ = (oldMean * (n + 1) - x) / n;
    m2_ -= (x - oldMean) * (x - mean_);
    // An extreme cannot be un-applied; look again when the one leaving was it.
    if (x == min_ || x == max_) {
        rescanExtremes();
    }
}

void MovingStats::clear() {
    samples_.clear();
    mean_ = m2_ = min_ = max_ = 0.0;
}

void MovingStats::rescanExtremes() {
    const auto [lo, hi] = std::minmax_element(samples_.begin(), samples_.end());
    min_ = *lo;
    max_ = *hi;
}

void MovingRegression::push_back(double x, double y) {
    const double n = static_cast<double>(count());
    if (n > 0) {
        c_ += n / (n + 1) * (x_.mean() - x) * (y_.mean() - y);
    }
    x_.push_back(x);
    y_.push_back(y);
}

void MovingRegression::pop_front() {
    if (count() == 0) {
        return;
    }
    const double x0 = x_.samples().front();
    const double y0 = y_.samples().front();
    x_.pop_front();
    y_.pop_front();
    const double n = static_cast<double>(count());
    if (n == 0) {
        c_ = 0.0;
        return;
    }
    c_ -= n / (n + 1) * (x_.mean() - x0) * (y_.mean() - y0);
}

void MovingRegression::clear() {
    x_.clear();
    y_.clear();
    c_ = 0.0;
}

double MovingRegression::slope() const {
    if (count() < 2) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return c_ / x_.m2();
}

}  // namespace Tools
