#include <gselib/fileopenexception.h>

namespace GseLib {

FileOpenException::FileOpenException(const QString& path, const QString& errorText)
    : std::runtime_error(
          QStringLiteral("Could not open %1: %2").arg(path, errorText).toStdString()),
      path_(path),
      errorText_(errorText) {}

}  // namespace GseLib
