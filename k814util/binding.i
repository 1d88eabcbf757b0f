// The binding as scripts reach it: binding with the raising API, what is bound and since when,
// and the lines of the diagnostics sink (captured, forwarded to the interpreter's logging, or
// kept with the binding). Implemented in k814util/binding.cpp and k814util/pydiagnostics.cpp.

%{
#include <k814util/binding.h>
#include <k814util/pydiagnostics.h>
%}

namespace k814util {
%feature("docstring",
         "Binds the process to a telemetry file like initK814Util, raising RuntimeError with "
         "the same message instead of ending the process; for the file already bound, reads "
         "what was appended since.") bindTelemetryFile;
void bindTelemetryFile(const std::string& path);
}

%feature("docstring", "Internal: how many times the process's binding was replaced.") _binding_generation;
%feature("docstring", "Internal: the absolute path of the bound telemetry file; empty while unbound.") _bound_path;
%feature("docstring", "Internal: (message, line, detail) of the last binding that failed its checks, or None.") _binding_last_failure;
%feature("docstring", "Internal: (lines, dropped): the current binding's diagnostics as (kind, text) tuples, and how many more were not kept.") _binding_diagnostics;
%feature("docstring", "Internal: lines of the diagnostics sink go to a new capture until _diagnostics_capture_end.") _diagnostics_capture_begin;
%feature("docstring", "Internal: ends the innermost capture and returns its (kind, text) tuples.") _diagnostics_capture_end;
%feature("docstring", "Internal: lines no capture takes go to callable(kind, text); None: to their streams.") _diagnostics_forward;

%inline %{
long long _binding_generation() {
    return k814util::Binding::instance().generation();
}
std::string _bound_path() {
    return k814util::Binding::instance().current().absolutePath.toStdString();
}
PyObject* _binding_last_failure() {
    return k814util::PyDiagnostics::lastFailure();
}
PyObject* _binding_diagnostics() {
    return k814util::PyDiagnostics::bindingLines();
}
void _diagnostics_capture_begin() {
    k814util::PyDiagnostics::beginCapture();
}
PyObject* _diagnostics_capture_end() {
    return k814util::PyDiagnostics::endCapture();
}
void _diagnostics_forward(PyObject* callable) {
    k814util::PyDiagnostics::forward(callable);
}
%}
