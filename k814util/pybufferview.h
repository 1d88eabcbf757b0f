#pragma once

#ifndef PY_SSIZE_T_CLEAN
#define PY_SSIZE_T_CLEAN  // sizes of "#" formats are Py_ssize_t
#endif
#include <Python.h>

#include <cstddef>

namespace k814util {

/**
 * @brief A writable, C-contiguous buffer of a Python object (a numpy array) that C++ fills,
 * held for as long as the view lives.
 *
 * The view checks what the filling code relies on: the element size and the total number of
 * bytes. The dtype itself is the caller's choice (the arrays are allocated from the layout the
 * same bridge reports).
 */
class BufferView {
public:
    /**
     * Takes the buffer of object, named name in messages.
     * @throw std::invalid_argument when object has no writable C-contiguous buffer, or its
     * elements are not itemSize bytes, or it does not hold byteCount bytes
     */
    BufferView(PyObject* object, const char* name, size_t itemSize, size_t byteCount);
    ~BufferView();
    BufferView(const BufferView&) = delete;
    BufferView& operator=(const BufferView&) = delete;

    void* data() const { return view_.buf; }

private:
    Py_buffer view_{};
};

}  // namespace k814util
