#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace k814util {

/**
 * @brief The database items that have limits, as columns: one entry per item, in id order.
 *
 * Each item has two limit sets (the row's limitChecker1 and limitChecker2); a set that is not
 * configured has value mode -1 and NaN limits, so a script sees at a glance which sets are live.
 */
class LimitTable {
public:
    /// The limits of one set, column by column.
    struct Set {
        std::vector<int> valueMode;   ///< 0 raw, 1 engineering, 2 science; -1 no limit
        std::vector<int> comparison;  ///< 0 below, 1 above, 2 equal, 3 not equal
        std::vector<double> yellow;   ///< NaN without a yellow limit
        std::vector<double> red;      ///< NaN without a red limit
        std::vector<int> persistence;
    };

    /**
     * Reads the limits of every item of the current database.
     * @throw std::runtime_error when no interpretation engine exists yet
     */
    LimitTable();

    size_t size() const { return ids_.size(); }
    const std::vector<int>& ids() const { return ids_; }
    const std::vector<std::string>& mnemonics() const { return mnemonics_; }
    const std::vector<std::string>& subsystems() const { return subsystems_; }
    /// The item's science units (its physical quantity), whatever mode its limits are in.
    const std::vector<std::string>& units() const { return units_; }
    /// Set 1 or 2.
    const Set& set(int n) const { return n == 1 ? set1_ : set2_; }

private:
    std::vector<int> ids_;
    std::vector<std::string> mnemonics_;
    std::vector<std::string> subsystems_;
    std::vector<std::string> units_;
    Set set1_;
    Set set2_;
};

}  // namespace k814util
