#pragma once

#ifndef PY_SSIZE_T_CLEAN
#define PY_SSIZE_T_CLEAN  // sizes of "#" formats are Py_ssize_t
#endif
#include <Python.h>

#include <cstddef>
#include <memory>

namespace k814util {

/**
 * A Python object whose buffer (writable bytes) is size bytes of C++ storage at data, kept alive
 * by owner for as long as the object or any view of it (a numpy array made with frombuffer)
 * lives: C++ results reach numpy without a copy.
 * @return a new reference, or null with the Python error set
 */
PyObject* bufferView(std::shared_ptr<const void> owner, const void* data, size_t size);

}  // namespace k814util
