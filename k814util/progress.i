// Binding with progress: the reads of the telemetry file report how far they have come to a
// Python callable, for a progress bar on long reads.
%{
#include <gselib/telemetrycache.h>
#include <k814util/k814util.h>
%}

%feature("docstring",
         "Internal: binds the process to path as bindTelemetryFile does, while each read of the "
         "file calls progress(bytes_done, bytes_total, packets) as it starts, at most a few "
         "times per second while it goes, and as it ends. The first exception progress raises "
         "ends the reports and is returned once the binding is complete (None when there was "
         "none).") k814util::_bind_with_progress;

%inline %{
namespace k814util {

PyObject* _bind_with_progress(const std::string& path, PyObject* progress) {
    // The exception the callable raised (owned), or null. Once there is one, the callable is
    // not called again: the read cannot stop half way without leaving the binding half made,
    // so the exception waits for the end of the binding instead.
    PyObject* raised = nullptr;
    auto report = [progress, &raised](long long done, long long total, long long packets) {
        if (raised) {
            return;
        }
        // The reader runs on the interpreter's thread with the interpreter lock held; taking
        // it again is cheap and keeps this right if the lock is ever let go during reads.
        const PyGILState_STATE gil = PyGILState_Ensure();
        if (PyObject* result = PyObject_CallFunction(progress, "LLL", done, total, packets)) {
            Py_DECREF(result);
        } else {
            PyObject* type = nullptr;
            PyObject* value = nullptr;
            PyObject* traceback = nullptr;
            PyErr_Fetch(&type, &value, &traceback);
            PyErr_NormalizeException(&type, &value, &traceback);
            if (value && traceback) {
                PyException_SetTraceback(value, traceback);
            }
            Py_XDECREF(type);
            Py_XDECREF(traceback);
            raised = value;
            if (!raised) {  // an error without a value: the reports stop all the same
                raised = Py_None;
                Py_INCREF(raised);
            }
        }
        PyGILState_Release(gil);
    };
    // Only this binding reports: the report installed before comes back however it ends.
    struct Installed {
        GseLib::TelemetryCache::Progress previous;
        ~Installed() { GseLib::TelemetryCache::setProgress(std::move(previous)); }
    } installed{GseLib::TelemetryCache::setProgress(report)};
    try {
        bindTelemetryFile(path);
    } catch (...) {
        // A file that cannot be bound says so; what the callable raised is secondary.
        Py_XDECREF(raised);
        throw;
    }
    if (!raised) {
        raised = Py_None;
        Py_INCREF(raised);
    }
    return raised;
}

}  // namespace k814util
%}
