#include <gselib/telemetryfile.h>

#include <QDir>
#include <algorithm>

namespace GseLib {

std::unique_ptr<TelemetryCache> TelemetryFile::cache_;

void TelemetryFile::setSharedCache(TelemetryCache* cache) {
    cache_.reset(cache);
}

void TelemetryFile::setSharedCacheFile(const std::string& path) {
    if (cache_) {
        cache_->changeFile(QFileInfo(QString::fromStdString(path)).absoluteFilePath().toStdString(),
                           true);
    }
}

void TelemetryFile::setSharedCacheFiles(const std::vector<std::string>& paths) {
    if (!cache_) {
        return;
    }
    for (size_t i = 0; i < paths.size(); ++i) {
        cache_->changeFile(paths[i], i == 0);
    }
}

void TelemetryFile::updateSharedCache() {
    if (cache_) {
        cache_->grow();
    }
}

TelemetryFile::TelemetryFile(QObject* parent) : QObject(parent) {
    if (cache_) {
        connect(cache_.get(), &TelemetryCache::packetsRemoved, this,
                &TelemetryFile::handleCachePacketsRemoved, Qt::DirectConnection);
    }
}

int TelemetryFile::count() {
    return cache_ ? static_cast<int>(cache_->size()) : 0;
}

TMPacketPtr TelemetryFile::at(int i) {
    return cache_ && i >= 0 ? cache_->get(static_cast<unsigned int>(i)) : nullptr;
}

void TelemetryFile::reset() {
    current_ = 0;
    lastMatch_ = -1;
    scanBound_ = -1;
    fresh_ = true;
}

int TelemetryFile::seek(int delta) {
    scanBound_ = -1;
    const int n = count();
    if (n == 0) {
        return 0;
    }
    const int old = current_;
    current_ =
        static_cast<int>(std::clamp<long long>(static_cast<long long>(current_) + delta, 0, n - 1));
    return current_ - old;
}

TMPacketPtr TelemetryFile::getNext() {
    const int n = count();
    if (n == 0) {
        return nullptr;
    }
    if (fresh_) {
        fresh_ = false;
        return at(current_);
    }
    if (current_ + 1 < n) {
        ++current_;
        scanBound_ = -1;
        return at(current_);
    }
    return nullptr;
}

namespace {

// Single-type searches match on the type itself: a ByteSet is 64 KB to build and clear, too
// much for a call that cursors make once per request.
struct OneType {
    int type;
    bool contains(int t) const { return t == type; }
};

template <typename Types>
int findNext(const std::vector<TMPacketPtr>& packets, int start, const Types& types,
             bool includeStart) {
    const int n = static_cast<int>(packets.size());
    if (n == 0) {
        return -2;
    }
    if (start < 0 || start >= n) {
        return -3;
    }
    for (int i = includeStart ? start : start + 1; i < n; ++i) {
        if (types.contains(packets[static_cast<size_t>(i)]->type())) {
            return i;
        }
    }
    return -1;
}

template <typename Types>
int findPrev(const std::vector<TMPacketPtr>& packets, int start, const Types& types,
             bool includeStart) {
    const int n = static_cast<int>(packets.size());
    if (n == 0) {
        return -2;
    }
    if (start < 0 || start >= n) {
        return -3;
    }
    for (int i = includeStart ? start : start - 1; i >= 0; --i) {
        if (types.contains(packets[static_cast<size_t>(i)]->type())) {
            return i;
        }
    }
    return -1;
}

const std::vector<TMPacketPtr>& noPackets() {
    static const std::vector<TMPacketPtr> none;
    return none;
}

}  // namespace

const std::vector<TMPacketPtr>& TelemetryFile::packets() {
    return cache_ ? cache_->packets() : noPackets();
}

int TelemetryFile::findNextMatch(int start, const ByteSet& types, bool includeStart) const {
    return findNext(packets(), start, types, includeStart);
}

int TelemetryFile::findNextMatch(int start, unsigned short type, bool includeStart) const {
    return findNext(packets(), start, OneType{type}, includeStart);
}

int TelemetryFile::findPrevMatch(int start, const ByteSet& types, bool includeStart) const {
    return findPrev(packets(), start, types, includeStart);
}

int TelemetryFile::findPrevMatch(int start, unsigned short type, bool includeStart) const {
    return findPrev(packets(), start, OneType{type}, includeStart);
}

int TelemetryFile::afterNextSearch(int r) {
    if (r >= 0) {
        current_ = lastMatch_ = r;
        scanBound_ = -1;
        return r;
    }
    if (r == -2) {
        current_ = 0;
        scanBound_ = -1;
        return -1;
    }
    if (r == -1) {
        // Everything up to the end was looked at: the next search starts there.
        scanBound_ = count() - 1;
        return -1;
    }
    return -3;
}

int TelemetryFile::afterPrevSearch(int r) {
    if (r >= 0) {
        current_ = lastMatch_ = r;
        scanBound_ = -1;
        return r;
    }
    if (r == -1 || r == -2) {
        scanBound_ = 0;
    }
    return -1;
}

int TelemetryFile::seekNextMatch(const ByteSet& types) {
    const int from = std::max(current_, scanBound_);
    return afterNextSearch(findNextMatch(from, types, lastMatch_ != from));
}

int TelemetryFile::seekNextMatch(unsigned short type) {
    const int from = std::max(current_, scanBound_);
    return afterNextSearch(findNextMatch(from, type, lastMatch_ != from));
}

int TelemetryFile::seekPrevMatch(const ByteSet& types) {
    return scanBound_ == 0 ? -1 : afterPrevSearch(findPrevMatch(current_, types, false));
}

int TelemetryFile::seekPrevMatch(unsigned short type) {
    return scanBound_ == 0 ? -1 : afterPrevSearch(findPrevMatch(current_, type, false));
}

TMPacketPtr TelemetryFile::getNextMatch(const ByteSet& types) {
    const int r = seekNextMatch(types);
    return r >= 0 ? at(r) : nullptr;
}

TMPacketPtr TelemetryFile::getNextMatch(unsigned short type) {
    const int r = seekNextMatch(type);
    return r >= 0 ? at(r) : nullptr;
}

TMPacketPtr TelemetryFile::getPrevMatch(const ByteSet& types) {
    const int r = seekPrevMatch(types);
    return r >= 0 ? at(r) : nullptr;
}

TMPacketPtr TelemetryFile::getPrevMatch(unsigned short type) {
    const int r = seekPrevMatch(type);
    return r >= 0 ? at(r) : nullptr;
}

void TelemetryFile::handleCachePacketsRemoved(int n) {
    current_ -= n;
    if (current_ < 0) {
        current_ = 0;
        fresh_ = true;
    }
    lastMatch_ = std::max(lastMatch_ - n, -1);
    scanBound_ -= n;
    if (scanBound_ < 0) {
        scanBound_ = -1;
    }
}

QFileInfo TelemetryFile::fileInfo() const {
    return QFileInfo(cache_ ? QString::fromStdString(cache_->fileName()) : QString());
}

QString TelemetryFile::tidString() const {
    return fileInfo().absoluteDir().dirName().mid(20, 5);
}

}  // namespace GseLib
