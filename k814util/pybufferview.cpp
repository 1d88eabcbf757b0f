#include <k814util/pybufferview.h>

#include <new>

namespace k814util {

namespace {

struct View {
    PyObject_HEAD std::shared_ptr<const void>* owner;
    void* data;
    Py_ssize_t size;
};

int getBuffer(PyObject* self, Py_buffer* view, int flags) {
    const View* v = reinterpret_cast<const View*>(self);
    return PyBuffer_FillInfo(view, self, v->data, v->size, 0, flags);
}

void deallocate(PyObject* self) {
    View* v = reinterpret_cast<View*>(self);
    delete v->owner;
    PyTypeObject* type = Py_TYPE(self);
    type->tp_free(self);
    Py_DECREF(type);
}

PyTypeObject* viewType() {
    // Made once, on first use, and kept for the life of the process.
    static PyTypeObject* type = [] {
        PyType_Slot slots[] = {
            {Py_bf_getbuffer, reinterpret_cast<void*>(&getBuffer)},
            {Py_tp_dealloc, reinterpret_cast<void*>(&deallocate)},
            {Py_tp_doc, const_cast<char*>("Bytes of a compiled result, for numpy.frombuffer.")},
            {0, nullptr},
        };
        PyType_Spec spec = {"k814util.ColumnBuffer", sizeof(View), 0, Py_TPFLAGS_DEFAULT, slots};
        return reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&spec));
    }();
    return type;
}

}  // namespace

PyObject* bufferView(std::shared_ptr<const void> owner, const void* data, size_t size) {
    PyTypeObject* type = viewType();
    if (!type) {
        return nullptr;
    }
    View* v = PyObject_New(View, type);
    if (!v) {
        return nullptr;
    }
    v->owner = new (std::nothrow) std::shared_ptr<const void>(std::move(owner));
    // The storage is the result's own, handed over: numpy's arrays of it may be written.
    v->data = const_cast<void*>(data);
    v->size = Py_ssize_t(size);
    if (!v->owner) {
        Py_DECREF(v);
        return PyErr_NoMemory();
    }
    return reinterpret_cast<PyObject*>(v);
}

}  // namespace k814util
