#pragma once

#include <gselib/telemetrycache.h>

#include <QFileInfo>
#include <QObject>
#include <QString>
#include <array>
#include <memory>
#include <string>
#include <vector>

namespace GseLib {

/**
 * @brief A set of packet types for searches: one flag per possible `type()`.
 */
class ByteSet {
public:
    ByteSet() { flags_.fill(0); }
    explicit ByteSet(unsigned short type) : ByteSet() { set(type); }
    void set(unsigned short type, bool on = true) { flags_[type] = on ? 1 : 0; }
    bool contains(int type) const { return type >= 0 && type < 65536 && flags_[type] != 0; }

private:
    std::array<unsigned char, 65536> flags_;
};

/**
 * @brief A cursor, with type searches, over the process's one shared telemetry cache.
 *
 * Cursors hold no packets; the shared cache (installed by `setSharedCache`) does. When the cache
 * trims its oldest packets, the cursors connected to it move with them.
 */
class TelemetryFile : public QObject {
    Q_OBJECT
public:
    /// Installs cache as the shared cache, destroying the previous one.
    static void setSharedCache(TelemetryCache* cache);
    static TelemetryCache* sharedCache() { return cache_.get(); }
    static void setSharedCacheFile(const std::string& path);
    static void setSharedCacheFiles(const std::vector<std::string>& paths);
    static void updateSharedCache();

    explicit TelemetryFile(QObject* parent = nullptr);

    void reset();
    /// Moves by delta, clamped to the packets there are; returns the distance moved.
    int seek(int delta);
    /// The current packet the first time, then the following ones; null past the end.
    TMPacketPtr getNext();

    int seekNextMatch(unsigned short type);
    int seekNextMatch(const ByteSet& types);
    int seekPrevMatch(unsigned short type);
    int seekPrevMatch(const ByteSet& types);
    TMPacketPtr getNextMatch(unsigned short type);
    TMPacketPtr getNextMatch(const ByteSet& types);
    TMPacketPtr getPrevMatch(unsigned short type);
    TMPacketPtr getPrevMatch(const ByteSet& types);

    /// Index of the first match after (or at) start; -1 none, -2 empty cache, -3 bad start.
    int findNextMatch(int start, const ByteSet& types, bool includeStart) const;
    int findNextMatch(int start, unsigned short type, bool includeStart) const;
    /// Index of the first match before (or at) start; -1 none, -2 empty cache, -3 bad start.
    int findPrevMatch(int start, const ByteSet& types, bool includeStart) const;
    int findPrevMatch(int start, unsigned short type, bool includeStart) const;

    QFileInfo fileInfo() const;
    /// The test ID: characters 20-24 of the name of the directory holding the file.
    QString tidString() const;

    int current() const { return current_; }
    int lastMatch() const { return lastMatch_; }

public slots:
    void handleCachePacketsRemoved(int count);

private:
    static const std::vector<TMPacketPtr>& packets();
    // Cursor bookkeeping after a search that returned r.
    int afterNextSearch(int r);
    int afterPrevSearch(int r);

    static int count();
    static TMPacketPtr at(int i);

    static std::unique_ptr<TelemetryCache> cache_;

    int current_ = 0;
    int lastMatch_ = -1;
    int scanBound_ = -1;
    bool fresh_ = true;
};

}  // namespace GseLib
