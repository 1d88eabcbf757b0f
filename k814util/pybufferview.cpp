#include <k814util/pybufferview.h>

#include <stdexcept>
#include <string>

namespace k814util {

BufferView::BufferView(PyObject* object, const char* name, size_t itemSize, size_t byteCount) {
    if (PyObject_GetBuffer(object, &view_, PyBUF_WRITABLE | PyBUF_C_CONTIGUOUS) != 0) {
        PyErr_Clear();
        throw std::invalid_argument(std::string(name) + ": expected a writable C-contiguous array");
    }
    if (size_t(view_.itemsize) != itemSize || size_t(view_.len) != byteCount) {
        PyBuffer_Release(&view_);
        throw std::invalid_argument(std::string(name) + ": wrong element size or length");
    }
}

BufferView::~BufferView() {
    PyBuffer_Release(&view_);
}

}  // namespace k814util
