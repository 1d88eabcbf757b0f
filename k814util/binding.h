#pragma once

#include <k814util/bindingcheck.h>
#include <tools/logger/diagnostics.h>

#include <QString>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

namespace k814util {

/**
 * @brief Why the process could not be bound to a telemetry file: the line initialisation prints
 * for it, and what exactly is missing (the configuration file, a key, a path), when known.
 *
 * what() is the line, followed by the detail in brackets when there is one.
 */
class BindingFailure : public std::runtime_error {
public:
    explicit BindingFailure(const BindingCheck& check);

    BindingCheck::Failure failure() const { return failure_; }
    const QString& line() const { return line_; }
    const QString& detail() const { return detail_; }

private:
    BindingCheck::Failure failure_;
    QString line_;
    QString detail_;
};

/**
 * @brief The one owner of the process's binding to a telemetry file: binds, reads on as the
 * station appends, and says what is bound.
 *
 * A binding replaces the interpretation engine, the shared packet cache, the message log and
 * the meta-marker state together; every successful replacement (and every failed one, which
 * leaves the process unbound) counts as a new generation, so objects made for an earlier one
 * can tell that they would now answer for another file. The lines the libraries write for a
 * person while a binding is current (the reader's notes on damage above all) are kept with it.
 * Nothing here ends the process; initK814Util does that, on top.
 */
class Binding {
public:
    /// One line of the diagnostics sink, kept with the binding it came during.
    struct Line {
        GseLib::Diagnostics::Kind kind;
        std::string text;
    };

    /// Lines kept per binding; a file that is mostly damage says more, and only the count of
    /// the rest is kept.
    static constexpr std::size_t MAX_LINES = 100000;

    static Binding& instance();

    /**
     * Binds the process to path, or reads on when it is bound to that file already. The TARN
     * command definitions are read before anything is replaced, so a failure of the checks or
     * of the definitions leaves the process as it was.
     * @throw BindingFailure when the file, its tm.meta, its configuration group or its mission
     *        does not allow binding
     * @throw std::runtime_error for broken command definitions or a broken database; the
     *        process is then bound as before, or (when the database failed) not at all
     */
    void bind(const QString& path);

    /**
     * Binds the process to path in the order module initialisation documents: plug-ins are
     * loaded before the mission is checked, a file bound already is read again from its start,
     * and for TARN the command definitions are read after the packets; when they fail, engine
     * and packets stay and the process counts as not initialised.
     * @throw BindingFailure for the checks initialisation reports with a line
     * @throw FileOpenException and the definition parsing errors of the command definitions
     */
    void bindAsInitialisation(const QString& path);

    /**
     * Reads what the station appended to path since the last read when the process is bound to
     * it (else binds it, as bind does). The file is read on only when a whole packet, or damage
     * to pass over, waits where the last read stopped, or once it has kept its size for
     * staleAfter seconds. Returns the packets added (all of them for a new binding).
     * @throw BindingFailure as bind does
     */
    long long readOn(const QString& path, double staleAfter = 5.0);

    /// The checks of the bound test; failure MissingFile with an empty path while unbound.
    const BindingCheck& current() const { return current_; }
    bool isBound() const { return current_.ok(); }
    /// How many times the binding was replaced (0 before the first binding).
    long long generation() const { return generation_; }
    /// The lines of the current binding, oldest first, and how many more were not kept.
    const std::vector<Line>& lines() const { return lines_; }
    long long droppedLines() const { return dropped_; }
    /// The checks of the last binding that failed them (failure None before any did).
    const BindingCheck& lastFailure() const { return lastFailure_; }

    /**
     * The line binding would fail with for path ("" when it would bind), checked without
     * touching the process's binding or its default configuration group.
     */
    static QString problemWith(const QString& path);
    /// Whether this process's plug-ins serve mission: they load once, for the first mission.
    static bool pluginsServe(const QString& mission);

private:
    Binding();

    [[noreturn]] void fail(const BindingCheck& check);
    void record(GseLib::Diagnostics::Kind kind, std::string_view text);
    void loadPluginsFor(const BindingCheck& check);
    void replace(const BindingCheck& check, bool tarnDefinitionsRead);
    void warnAboutDirectoryName(const BindingCheck& check);
    long long grow(double staleAfter);

    BindingCheck current_;
    BindingCheck lastFailure_;
    long long generation_ = 0;
    std::vector<Line> lines_;
    long long dropped_ = 0;
    // Lines of a binding under way, until it replaces the current one.
    std::vector<Line> pending_;
    long long pendingDropped_ = 0;
    bool binding_ = false;
    // The size the bound file was last seen with, and since when.
    qint64 lastSize_ = -1;
    double lastChange_ = 0.0;
    QString lastPath_;
    QStringList warnedDirectories_;
};

}  // namespace k814util
