#include <k814util/pycapsule.h>

#include <stdexcept>
#include <string>

namespace k814util {

void* capsulePointer(PyObject* object, const char* name) {
    void* held = PyCapsule_IsValid(object, name) ? PyCapsule_GetPointer(object, name) : nullptr;
    if (!held) {
        throw std::invalid_argument(std::string("expected the capsule ") + name);
    }
    return held;
}

}  // namespace k814util
