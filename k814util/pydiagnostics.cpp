#include <k814util/pydiagnostics.h>

#include <k814util/binding.h>
#include <tools/logger/diagnostics.h>

#include <memory>
#include <string_view>
#include <vector>

namespace k814util {

namespace {

using GseLib::Diagnostics;

PyObject* text(std::string_view s) {
    // The libraries' lines are in the locale's encoding, which a damaged file's bytes may not
    // be: what does not decode is kept as escapes rather than failing the capture.
    return PyUnicode_DecodeUTF8(s.data(), Py_ssize_t(s.size()), "backslashreplace");
}

PyObject* lineTuple(Diagnostics::Kind kind, std::string_view s) {
    return Py_BuildValue("(sN)", Diagnostics::kindName(kind), text(s));
}

struct State {
    // One list per capture under way, innermost last (new references).
    std::vector<PyObject*> captures;
    PyObject* forward = nullptr;
};

State& state() {
    static State s;
    return s;
}

void handle(Diagnostics::Kind kind, std::string_view s, Diagnostics::Stream stream) {
    State& st = state();
    if (!st.captures.empty()) {
        PyObject* item = lineTuple(kind, s);
        if (!item || PyList_Append(st.captures.back(), item) != 0) {
            PyErr_Clear();
        }
        Py_XDECREF(item);
        return;
    }
    if (st.forward) {
        PyObject* result =
            PyObject_CallFunction(st.forward, "sN", Diagnostics::kindName(kind), text(s));
        if (result) {
            Py_DECREF(result);
        } else {
            PyErr_WriteUnraisable(st.forward);
        }
        return;
    }
    Diagnostics::write(s, stream);
}

// The handler is installed only while something wants the lines, so that the default (the
// streams) costs nothing more than it did.
void install() {
    const State& st = state();
    Diagnostics::setHandler(st.captures.empty() && !st.forward ? Diagnostics::Handler() : handle);
}

}  // namespace

void beginDiagnosticsCapture() {
    PyObject* list = PyList_New(0);
    if (!list) {
        throw std::bad_alloc();
    }
    state().captures.push_back(list);
    install();
}

PyObject* endDiagnosticsCapture() {
    State& st = state();
    if (st.captures.empty()) {
        throw std::logic_error("no capture of diagnostics is under way");
    }
    PyObject* list = st.captures.back();
    st.captures.pop_back();
    install();
    return list;
}

void forwardDiagnostics(PyObject* callable) {
    State& st = state();
    if (callable == Py_None) {
        callable = nullptr;
    } else if (!PyCallable_Check(callable)) {
        throw std::invalid_argument("diagnostics can be forwarded to a callable or None");
    }
    Py_XINCREF(callable);
    Py_XDECREF(st.forward);
    st.forward = callable;
    install();
}

PyObject* bindingDiagnostics() {
    const Binding& b = Binding::instance();
    const std::vector<Binding::Line>& lines = b.lines();
    PyObject* list = PyList_New(Py_ssize_t(lines.size()));
    if (!list) {
        throw std::bad_alloc();
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        PyObject* item = lineTuple(lines[i].kind, lines[i].text);
        if (!item) {
            Py_DECREF(list);
            throw std::bad_alloc();
        }
        PyList_SET_ITEM(list, Py_ssize_t(i), item);
    }
    return Py_BuildValue("(NL)", list, b.droppedLines());
}

PyObject* lastBindingFailure() {
    const BindingCheck& c = Binding::instance().lastFailure();
    if (c.ok()) {
        Py_RETURN_NONE;
    }
    const BindingFailure failure(c);
    const QByteArray line = c.message.toUtf8();
    const QByteArray detail = c.detail.toUtf8();
    return Py_BuildValue("(sss)", failure.what(), line.constData(), detail.constData());
}

long long bindingGeneration() {
    return Binding::instance().generation();
}

std::string boundPath() {
    return Binding::instance().current().absolutePath.toStdString();
}

}  // namespace k814util
