// Limits as scripts reach them: the items that have limits and the spans in which their values
// left them, each a dict of columns. Implemented in k814util/pylimits.cpp on LimitTable and
// LimitViolations.

%{
#include <k814util/pylimits.h>
%}

%feature("docstring", "Internal: the items with limits, as a dict of column lists.") _limits_table;
%feature("docstring", "Internal: _limit_violations(hkids, red_only): the limit-violation spans of hkids (all items with limits when empty), as a dict of column lists.") _limit_violations;

%inline %{
PyObject* _limits_table() {
    return k814util::PyLimits::table();
}
PyObject* _limit_violations(const std::vector<int>& hkids, bool red_only) {
    return k814util::PyLimits::violations(hkids, red_only);
}
%}
