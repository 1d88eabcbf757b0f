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

int TelemetryFile::findNextMatch(int start, const ByteSet& types, bool includeStart) const {
    const int n = count();
    if (n == 0) {
        return -2;
    }
    if (start < 0 || start >= n) {
        return -3;
    }
    const auto& packets = cache_->packets();
    for (int i = includeStart ? start : start + 1; i < n; ++i) {
        if (types.contains(packets[static_cast<size_t>(i)]->type())) {
            return i;
        }
    }
    return -1;
}

int TelemetryFile::findNextMatch(int start, unsigned short type, bool includeStart) const {
    return findNextMatch(start, ByteSet(type), includeStart);
}

int TelemetryFile::findPrevMatch(int start, const ByteSet& types, bool includeStart) const {
    const int n = count();
    if (n == 0) {
        return -2;
    }
    if (start < 0 || start >= n) {
        return -3;
    }
    const auto& packets = cache_->packets();
    for (int i = includeStart ? start : start - 1; i >= 0; --i) {
        if (types.contains(packets[static_cast<size_t>(i)]->type())) {
            return i;
        }
    }
    return -1;
}

int TelemetryFile::findPrevMatch(int start, unsigned short type, bool includeStart) const {
    return findPrevMatch(start, ByteSet(type), includeStart);
}

int TelemetryFile::seekNextMatch(const ByteSet& types) {
    const int from = std::max(current_, scanBound_);
    const int r = findNextMatch(from, types, lastMatch_ != from);
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
        scanBound_ = count() - 1;
        return -1;
    }
    return -3;
}

int TelemetryFile::seekNextMatch(unsigned short type) {
    return seekNextMatch(ByteSet(type));
}

TMPacketPtr TelemetryFile::getNextMatch(const ByteSet& types) {
    const int r = seekNextMatch(types);
    return r >= 0 ? at(r) : nullptr;
}

TMPacketPtr TelemetryFile::getNextMatch(unsigned short type) {
    return getNextMatch(ByteSet(type));
}

int TelemetryFile::seekPrevMatch(const ByteSet& types) {
    if (scanBound_ == 0) {
        return -1;
    }
    const int r = findPrevMatch(current_, types, false);
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

int TelemetryFile::seekPrevMatch(unsigned short type) {
    return seekPrevMatch(ByteSet(type));
}

TMPacketPtr TelemetryFile::getPrevMatch(const ByteSet& types) {
    const int r = seekPrevMatch(types);
    return r >= 0 ? at(r) : nullptr;
}

TMPacketPtr TelemetryFile::getPrevMatch(unsigned short type) {
    return getPrevMatch(ByteSet(type));
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
