#pragma once

#include <Python.h>

#include <string>

namespace k814util {

/**
 * @name The diagnostics sink and the binding as the Python package reaches them
 * Captures of the lines for a block of code, forwarding to a Python callable (the interpreter's
 * logging), and what the current binding is, said and kept. Everything runs on the
 * interpreter's thread with its lock held, as every call of the module does.
 * @{
 */

/// Starts a capture: from now on the lines go to it instead of their streams (the innermost
/// capture takes them when captures nest).
void beginDiagnosticsCapture();
/// Ends the innermost capture: a new list of (kind, text) tuples, oldest first.
/// @throw std::logic_error when no capture is under way
PyObject* endDiagnosticsCapture();
/// Lines that no capture takes go to callable(kind, text); None puts them back on their
/// streams. What the callable raises is reported as unraisable and the line dropped.
/// @throw std::invalid_argument for something neither callable nor None
void forwardDiagnostics(PyObject* callable);
/// (lines, dropped): the current binding's lines as (kind, text) tuples and how many more it
/// did not keep.
PyObject* bindingDiagnostics();
/// (message, line, detail) of the last binding that failed its checks; None before any.
PyObject* lastBindingFailure();
/// How many times the process's binding was replaced.
long long bindingGeneration();
/// The absolute path of the bound telemetry file; empty while unbound.
std::string boundPath();

/// @}

}  // namespace k814util
