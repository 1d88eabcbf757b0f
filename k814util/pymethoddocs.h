#pragma once

#ifndef PY_SSIZE_T_CLEAN
#define PY_SSIZE_T_CLEAN  // sizes of "#" formats are Py_ssize_t
#endif
#include <Python.h>

namespace k814util {

/**
 * Makes every documentation string of a module's method table open with its own signature.
 * SWIG misses that in two places: a function with a written description gets a string that
 * opens with a newline, and a constructor's argument-less (or defaulted) form is written as the
 * proxy class's call, "TMDatapoint()", rather than "new_TMDatapoint() -> TMDatapoint". Called
 * once, before anyone reads the table; the corrected texts live as long as the process.
 */
void correctMethodDocs(PyMethodDef* methods);

}  // namespace k814util
