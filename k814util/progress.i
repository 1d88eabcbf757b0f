// Binding with progress: the reads of the telemetry file report how far they have come to a
// Python callable, for a progress bar on long reads (k814util/pybinding.cpp).
%{
#include <k814util/pybinding.h>
%}

%feature("docstring",
         "Internal: binds the process to path as bindTelemetryFile does, while each read of the "
         "file calls progress(bytes_done, bytes_total, packets) as it starts, at most a few "
         "times per second while it goes, and as it ends. The first exception progress raises "
         "ends the reports and is returned once the binding is complete (None when there was "
         "none).") k814util::bindWithProgress;

namespace k814util {
%rename(_bind_with_progress) bindWithProgress;
PyObject* bindWithProgress(const std::string& path, PyObject* progress);
}
