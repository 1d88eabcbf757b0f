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

// The package's private view of the binding and of the diagnostics sink.
namespace k814util {
%rename(_binding_generation) bindingGeneration;
%rename(_bound_path) boundPath;
%rename(_binding_last_failure) lastBindingFailure;
%rename(_binding_diagnostics) bindingDiagnostics;
%rename(_diagnostics_capture_begin) beginDiagnosticsCapture;
%rename(_diagnostics_capture_end) endDiagnosticsCapture;
%rename(_diagnostics_forward) forwardDiagnostics;
long long bindingGeneration();
std::string boundPath();
PyObject* lastBindingFailure();
PyObject* bindingDiagnostics();
void beginDiagnosticsCapture();
PyObject* endDiagnosticsCapture();
void forwardDiagnostics(PyObject* callable);
}
