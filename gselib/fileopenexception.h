#pragma once

#include <QString>
#include <stdexcept>

namespace GseLib {

/**
 * @brief A definition file could not be opened; the message names the file and carries the
 * system's reason.
 */
class FileOpenException : public std::runtime_error {
public:
    FileOpenException(const QString& path, const QString& errorText);

    QString path() const { return path_; }
    QString errorText() const { return errorText_; }

private:
    QString path_;
    QString errorText_;
};

}  // namespace GseLib
