#pragma once

#include <Python.h>

#include <string>

namespace k814util {

/**
 * @brief The diagnostics sink and the binding as the Python package reaches them: captures of
 * the lines for a block of code, forwarding to a Python callable (the interpreter's logging),
 * and what the current binding is, said and kept.
 *
 * Everything runs on the interpreter's thread with its lock held, as every call of the module
 * does.
 */
class PyDiagnostics {
public:
    /// Starts a capture: from now on the lines go to it instead of their streams (the innermost
    /// capture takes them when captures nest).
    static void beginCapture();
    /// Ends the innermost capture: a new list of (kind, text) tuples, oldest first.
    static PyObject* endCapture();
    /// Lines that no capture takes go to callable(kind, text); None puts them back on their
    /// streams. What the callable raises is reported as unraisable and the line dropped.
    static void forward(PyObject* callable);
    /// (lines, dropped): the current binding's lines as (kind, text) tuples and how many more
    /// it did not keep.
    static PyObject* bindingLines();
    /// (message, line, detail) of the last binding that failed its checks; None before any.
    static PyObject* lastFailure();
};

}  // namespace k814util
