#include <k814util/pybinding.h>

#include <gselib/telemetrycache.h>
#include <k814util/k814util.h>
#include <k814util/pyexceptions.h>

namespace k814util {

PyObject* bindWithProgress(const std::string& path, PyObject* progress) {
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

PyObject* boundTest() {
    const BindingCheck& b = currentBinding();
    if (!b.ok()) {
        Py_RETURN_NONE;
    }
    PyObject* bound = Py_BuildValue("(sss)", b.absolutePath.toUtf8().constData(),
                                    b.mission.toUtf8().constData(), b.group.toUtf8().constData());
    if (!bound) {
        throw PythonErrorSet();
    }
    return bound;
}

}  // namespace k814util
