#pragma once

#include <k814util/columntable.h>

#ifndef PY_SSIZE_T_CLEAN
#define PY_SSIZE_T_CLEAN  // sizes of "#" formats are Py_ssize_t
#endif
#include <Python.h>

namespace k814util {

/**
 * @name The column table on the Python side
 * A ColumnTable crosses as a capsule; the package asks for its layout, allocates one numpy
 * array per numeric column, and has them filled (one copy per value), the texts coming back as
 * lists. k814util._columns.arrays() is the one Python function that does this.
 * @{
 */

/// A capsule owning table; null with the Python error set when out of memory.
PyObject* columnTableToPython(ColumnTable table);

/**
 * [(name, dtype, shape)] of the table's columns, in order; dtype is a numpy name, "object" for
 * texts.
 * @throw std::invalid_argument when table is not a column-table capsule
 * @throw PythonErrorSet when Python runs out of memory
 */
PyObject* columnLayout(PyObject* table);

/**
 * Fills arrays (a list: one array per column of the layout, allocated as it says; None for
 * text columns) and returns the list of the columns' values: the arrays, and for each text
 * column a list of str.
 * @throw std::invalid_argument for a wrong capsule, list or array
 * @throw PythonErrorSet when Python runs out of memory
 */
PyObject* columnFill(PyObject* table, PyObject* arrays);

/// @}

}  // namespace k814util
