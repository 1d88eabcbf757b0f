#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace k814util {

/**
 * @brief Every span in which an item's values stayed beyond one of its limits, over the whole
 * bound file, as columns: one entry per span.
 *
 * Each item's raw values are read in one walk over the file and checked against both limit
 * sets exactly as `LimitChecker::checkLimit` checks them, in the checker's own value mode. A
 * span opens once `persistence` consecutive values violate a limit and closes at the first value
 * that does not; it covers all of those violating values. Yellow and red limits are followed
 * separately, so a red span also lies inside a yellow one and both are listed. Spans come item
 * by item (in the order asked), each item's in order of their first value, set 1 before set 2
 * and yellow before red.
 */
class LimitViolations {
public:
    enum Level { Yellow = 1, Red = 2 };

    /**
     * Checks the items hkids (all items with limits when empty). redOnly leaves the yellow
     * spans out. A limit set whose value mode needs a transfer function the row lacks is said
     * once through the diagnostics and skipped.
     * @throw std::invalid_argument for an hkid the database does not hold
     * @throw std::runtime_error when no interpretation engine exists yet
     */
    LimitViolations(const std::vector<int>& hkids, bool redOnly);

    size_t size() const { return ids_.size(); }

    const std::vector<int>& ids() const { return ids_; }
    const std::vector<std::string>& mnemonics() const { return mnemonics_; }
    /// Limit set, 1 or 2.
    const std::vector<int>& sets() const { return sets_; }
    /// Level: Yellow or Red.
    const std::vector<int>& levels() const { return levels_; }
    /// The checker's value mode: 0 raw, 1 engineering, 2 science.
    const std::vector<int>& valueModes() const { return valueModes_; }
    /// 0 below, 1 above, 2 equal, 3 not equal.
    const std::vector<int>& comparisons() const { return comparisons_; }
    const std::vector<double>& limits() const { return limits_; }
    const std::vector<double>& startUnix() const { return startUnix_; }
    const std::vector<double>& endUnix() const { return endUnix_; }
    const std::vector<double>& startRelative() const { return startRelative_; }
    const std::vector<double>& endRelative() const { return endRelative_; }
    /// Packet index (get_pkt's) of the first and last violating value.
    const std::vector<int64_t>& firstPackets() const { return firstPackets_; }
    const std::vector<int64_t>& lastPackets() const { return lastPackets_; }
    const std::vector<int64_t>& samples() const { return samples_; }
    /// The value furthest beyond the limit, in the checker's value mode (for equal limits, the
    /// first), and its times.
    const std::vector<double>& worst() const { return worst_; }
    const std::vector<double>& worstUnix() const { return worstUnix_; }
    const std::vector<double>& worstRelative() const { return worstRelative_; }
    /// Whether the span was still open at the end of the file.
    const std::vector<bool>& open() const { return open_; }

private:
    friend class LimitSpanSink;

    std::vector<int> ids_;
    std::vector<std::string> mnemonics_;
    std::vector<int> sets_;
    std::vector<int> levels_;
    std::vector<int> valueModes_;
    std::vector<int> comparisons_;
    std::vector<double> limits_;
    std::vector<double> startUnix_;
    std::vector<double> endUnix_;
    std::vector<double> startRelative_;
    std::vector<double> endRelative_;
    std::vector<int64_t> firstPackets_;
    std::vector<int64_t> lastPackets_;
    std::vector<int64_t> samples_;
    std::vector<double> worst_;
    std::vector<double> worstUnix_;
    std::vector<double> worstRelative_;
    std::vector<bool> open_;
};

}  // namespace k814util
