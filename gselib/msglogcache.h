#pragma once

#include <gselib/msglogline.h>
#include <gselib/tmdatabaserow.h>

#include <QStringList>
#include <deque>
#include <memory>
#include <vector>

namespace GseLib {

class TelemetryFile;

/**
 * @brief The message log of the current telemetry file: every line of text the instrument sent,
 * in packet order, built incrementally from the shared packet cache.
 *
 * Lines live in a deque so that appending never moves the lines already handed out; a line
 * stays where it is until resetState() or reload() forgets them all.
 */
class MsgLogCache {
public:
    /// The process's message log, created (on a cursor at the start of the shared cache, with
    /// the default mnemonics) on first use.
    static MsgLogCache& getInstance();

    MsgLogCache();
    ~MsgLogCache();
    MsgLogCache(const MsgLogCache&) = delete;
    MsgLogCache& operator=(const MsgLogCache&) = delete;

    /// Adds the database rows of names to the text items collected; unknown names are logged.
    void setMnemonics(const QStringList& names);
    /// Forgets the text items, for a process bound to another database.
    void clearMnemonics() { mnemonicRows_.clear(); }
    /// Reads the packets not read yet.
    void refresh();
    /// Forgets everything, then reads the whole cache again.
    void reload();
    /// Forgets everything: cursor at the start, no lines, nothing pending.
    void resetState();

    /// The first line at or after time (by relativeTime) that matches, or an empty line at time.
    MsgLogLine search(double time, const QRegularExpression& expression, bool* found) const;
    /// The first (or with findLast the last) match among lines of packets from..to inclusive;
    /// costs the lines of that range (lines are in packet order), not the whole log.
    MsgLogLine search(unsigned from, unsigned to, const QRegularExpression& expression, bool* found,
                      bool findLast) const;

    const std::deque<MsgLogLine>& lines() const { return lines_; }
    size_t size() const { return lines_.size(); }
    bool pending() const { return pending_; }
    const std::vector<TmDatabaseRow>& mnemonicRows() const { return mnemonicRows_; }

    /// Counts resets: a line pointer taken under another generation no longer points at a line.
    uint64_t generation() const { return generation_; }

    static const QStringList& defaultMnemonics();

private:
    void addText(const TMPacket& packet, const QString& text);

    std::shared_ptr<TelemetryFile> cursor_;
    std::vector<TmDatabaseRow> mnemonicRows_;
    std::deque<MsgLogLine> lines_;
    bool pending_ = false;
    uint64_t generation_ = 0;
};

}  // namespace GseLib
