#pragma once

#include <exception>

namespace k814util {

/**
 * @brief Thrown by bridge code when a Python API call failed: the Python error indicator
 * already holds the error, which setPythonException() then leaves as it is.
 */
class PythonErrorSet : public std::exception {
public:
    const char* what() const noexcept override { return "a Python error is set"; }
};

/**
 * Turns the exception being handled into the Python error it stands for, for the wrappers'
 * catch (...) blocks: std::out_of_range becomes IndexError, std::invalid_argument ValueError
 * (the caller's mistake), any other exception RuntimeError, each with the exception's message.
 * Call it only inside a catch block.
 */
void setPythonException() noexcept;

}  // namespace k814util
