#pragma once

#ifndef PY_SSIZE_T_CLEAN
#define PY_SSIZE_T_CLEAN  // sizes of "#" formats are Py_ssize_t
#endif
#include <Python.h>

#include <string>

namespace k814util {

/**
 * @name The binding as the package's Python side uses it
 * Binding with a progress callable, and what is bound as a tuple for the console.
 * @{
 */

/**
 * Binds the process to path as bindTelemetryFile does, while each read of the file calls
 * progress(bytes_done, bytes_total, packets) as it starts, at most a few times per second while
 * it goes, and as it ends. The first exception progress raises ends the reports and is returned
 * (a new reference) once the binding is complete; None when there was none.
 * @throw BindingFailure as bindTelemetryFile does
 */
PyObject* bindWithProgress(const std::string& path, PyObject* progress);

/// (absolute path, mission, configuration group) of the test the process is bound to; None
/// while it is unbound.
PyObject* boundTest();

/// @}

}  // namespace k814util
