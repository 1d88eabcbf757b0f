#pragma once

#include <QString>
#include <stdexcept>

namespace GseLib {

/// The text every parsing exception begins with.
extern const char* const PARSING_ERROR_PREFIX;

/**
 * @brief A required key of a JSON definition is absent.
 *
 * Text: "Error while parsing file:\nMissing a key: " and the key.
 */
class MissingKeyException : public std::runtime_error {
public:
    explicit MissingKeyException(const QString& key);
};

/**
 * @brief A key of a JSON definition holds a value of the wrong kind.
 *
 * Text: "Error while parsing file:\nThe value's type for the <key> key is wrong: Expected
 * <expected> but got <actual>".
 */
class UnexpectedValueTypeException : public std::runtime_error {
public:
    UnexpectedValueTypeException(const QString& key, const QString& expected,
                                 const QString& actual);
};

/**
 * @brief A text that should hold a hexadecimal number does not.
 *
 * Text: "Error while parsing file:\nFailed to convert the hex string to int: " and the text.
 */
class HexStringToIntException : public std::runtime_error {
public:
    explicit HexStringToIntException(const QString& text);
};

/**
 * @brief Any other error in a definition file. Text: "Error while parsing file: " and the
 * message.
 */
class GeneralParsingException : public std::runtime_error {
public:
    explicit GeneralParsingException(const QString& message);
};

}  // namespace GseLib
