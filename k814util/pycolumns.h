#pragma once

#include <k814util/columntable.h>

#ifndef PY_SSIZE_T_CLEAN
#define PY_SSIZE_T_CLEAN  // sizes of "#" formats are Py_ssize_t
#endif
#include <Python.h>

namespace k814util {

/**
 * @name The column table on the Python side
 * A ColumnTable crosses as a capsule; the package asks for its layout and its columns' data
 * and makes one numpy array per numeric column over the C++ storage (no copy), the texts coming
 * back as lists. k814util._columns.arrays() is the one Python function that does this.
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
 * The values of the table's columns, in order: for each numeric column an object whose buffer
 * is the column's storage (numpy.frombuffer makes the array without a copy; the storage lives
 * as long as any array of it), for each text column a list of str.
 * @throw std::invalid_argument when table is not a column-table capsule
 * @throw PythonErrorSet when Python runs out of memory
 */
PyObject* columnData(PyObject* table);

/// @}

}  // namespace k814util
