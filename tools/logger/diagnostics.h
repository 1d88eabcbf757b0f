#pragma once

#include <QString>
#include <functional>
#include <string_view>

namespace GseLib {

/**
 * @brief The one way out for the lines the libraries write for a person: the reader's notes on
 * damaged telemetry, problems of rule and definition files, decoder and fitting warnings.
 *
 * Every such line is handed to report() with its kind and the stream it has always gone to. By
 * default it is written there, unchanged, with a line end; a handler installed with
 * setHandler() gets it instead (the scripting module captures lines or hands them to the
 * interpreter's logging). Observers see every line whatever the handler does with it: the
 * binding keeps the lines of the file it is bound to that way. Single-threaded, like the rest of
 * the libraries.
 */
class Diagnostics {
public:
    enum class Kind { Reader, Rules, Config, Binding, Decoder, Fit, Database, Event };
    enum class Stream { Error, Output };

    using Handler = std::function<void(Kind, std::string_view text, Stream)>;
    using Observer = std::function<void(Kind, std::string_view text)>;

    /// Hands one line (without its line end) to the handler, or writes it to its stream.
    static void report(Kind kind, std::string_view text, Stream stream = Stream::Error);
    static void report(Kind kind, const QString& text, Stream stream = Stream::Error);
    static void report(Kind kind, const char* text, Stream stream = Stream::Error) {
        report(kind, std::string_view(text), stream);
    }
    /// printf-style formatting of one line, then report() to standard error.
    static void reportf(Kind kind, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;

    /**
     * Writes a line that ends the process to standard error, whatever handler is installed:
     * nobody would be left to read a captured one. Observers still see it.
     */
    static void fatal(Kind kind, std::string_view text);

    /// Installs handler (empty: the default writer) and returns the one it replaces.
    static Handler setHandler(Handler handler);
    /// Installs observer (empty: none) and returns the one it replaces.
    static Observer setObserver(Observer observer);

    /// The kind's name as scripts see it: "reader", "rules", "config", "binding", ...
    static const char* kindName(Kind kind);
    /// Writes text and a line end to the stream, as the default does.
    static void write(std::string_view text, Stream stream);
};

}  // namespace GseLib
