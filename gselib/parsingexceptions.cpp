#include <gselib/parsingexceptions.h>

namespace GseLib {

const char* const PARSING_ERROR_PREFIX = "Error while parsing file";

namespace {

std::string detail(const QString& text) {
    return (QString::fromLatin1(PARSING_ERROR_PREFIX) + QStringLiteral(":\n") + text).toStdString();
}

}  // namespace

MissingKeyException::MissingKeyException(const QString& key)
    : std::runtime_error(detail(QStringLiteral("Missing a key: ") + key)) {}

UnexpectedValueTypeException::UnexpectedValueTypeException(const QString& key,
                                                           const QString& expected,
                                                           const QString& actual)
    : std::runtime_error(detail(QStringLiteral("The value's type for the ") + key +
                                QStringLiteral(" key is wrong: Expected ") + expected +
                                QStringLiteral(" but got ") + actual)) {}

HexStringToIntException::HexStringToIntException(const QString& text)
    : std::runtime_error(
          detail(QStringLiteral("Failed to convert the hex string to int: ") + text)) {}

GeneralParsingException::GeneralParsingException(const QString& message)
    : std::runtime_error(
          (QString::fromLatin1(PARSING_ERROR_PREFIX) + QStringLiteral(": ") + message)
              .toStdString()) {}

}  // namespace GseLib
