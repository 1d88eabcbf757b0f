#pragma once

#ifndef PY_SSIZE_T_CLEAN
#define PY_SSIZE_T_CLEAN  // sizes of "#" formats are Py_ssize_t
#endif
#include <Python.h>

#include <memory>

namespace k814util {

/**
 * @brief A C++ value handed to Python as an opaque capsule (no class of its own in the module)
 * and found again when Python hands the capsule back; the capsule owns the value.
 */
template <typename T>
class Capsule {
public:
    /// A new capsule of that name owning value; null with the Python error set when out of
    /// memory. name must outlive the capsule (a string literal).
    static PyObject* wrap(T value, const char* name) {
        auto held = std::make_unique<T>(std::move(value));
        PyObject* capsule = PyCapsule_New(held.get(), name, [](PyObject* c) {
            delete static_cast<T*>(PyCapsule_GetPointer(c, PyCapsule_GetName(c)));
        });
        if (capsule) {
            held.release();
        }
        return capsule;
    }

    /**
     * The value of a capsule wrap() made with that name.
     * @throw std::invalid_argument when object is no such capsule
     */
    static const T& unwrap(PyObject* object, const char* name) {
        return *static_cast<const T*>(capsulePointer(object, name));
    }

private:
    static void* capsulePointer(PyObject* object, const char* name);
};

/// The pointer a capsule of that name holds. @throw std::invalid_argument for another object
void* capsulePointer(PyObject* object, const char* name);

template <typename T>
void* Capsule<T>::capsulePointer(PyObject* object, const char* name) {
    return k814util::capsulePointer(object, name);
}

}  // namespace k814util
