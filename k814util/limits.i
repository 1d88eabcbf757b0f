// Limits as scripts reach them: the items that have limits and the spans in which their values
// left them, each a whole-file column table (k814util/wholefiletables.h) that
// k814util._columns.arrays turns into numpy arrays.

%feature("docstring", "Internal: the items with limits, as a column table.") k814util::limitTable;
%feature("docstring", "Internal: _limit_violations(hkids, red_only): the limit-violation spans of hkids (all items with limits when empty), as a column table.") k814util::limitViolationTable;

namespace k814util {
%rename(_limits_table) limitTable;
%rename(_limit_violations) limitViolationTable;
ColumnTable limitTable();
ColumnTable limitViolationTable(const std::vector<int>& hkids, bool redOnly);
}
