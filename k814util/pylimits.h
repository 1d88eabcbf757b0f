#pragma once

#include <Python.h>

#include <vector>

namespace k814util {

/**
 * @brief The limit table and the limit-violation report as the Python package reaches them:
 * each a dict of column name to list, in the order the package's DataFrames show them.
 */
class PyLimits {
public:
    /**
     * The items that have limits (LimitTable): id, mnemonic, subsystem, units, then per set n
     * value_mode_n, comparison_n, yellow_n, red_n, persistence_n.
     * @throw std::runtime_error when no interpretation engine exists yet or memory runs out
     */
    static PyObject* table();
    /**
     * The violation spans of hkids (LimitViolations; all items with limits when empty), red ones
     * only when redOnly. Modes and comparisons are codes; the package names them.
     * @throw std::invalid_argument for an hkid the database does not hold
     * @throw std::runtime_error when no interpretation engine exists yet or memory runs out
     */
    static PyObject* violations(const std::vector<int>& hkids, bool redOnly);
};

}  // namespace k814util
