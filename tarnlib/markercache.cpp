#include <tarnlib/markercache.h>

#include <gselib/telemetrycache.h>
#include <gselib/telemetryfile.h>
#include <gselib/tmpacket.h>

#include <algorithm>
#include <cstring>

namespace TarGse {

namespace {

constexpr double TIME_TOLERANCE = 1e-5;

uint32_t be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// Inserts m at its place by relative time: after every marker not later than it.
void insertByTime(QList<MarkerData>& list, const MarkerData& m) {
    if (list.isEmpty() || list.back().relativeTime <= m.relativeTime) {
        list.append(m);
        return;
    }
    auto it = std::upper_bound(list.begin(), list.end(), m, compareMarkersByTimestamp);
    list.insert(it, m);
}

}  // namespace

bool MarkerData::fromPacket(const GseLib::TMPacket& p, unsigned int markerIndex, MarkerData* out) {
    const auto& bytes = p.bytes();
    const size_t data = size_t(p.dataOffset());
    if (!bytes || bytes->size() < data + 10) {
        return false;
    }
    const uint8_t* d = bytes->data() + data;
    MarkerData m;
    m.packetIndex = p.index();
    m.markerIndex = markerIndex;
    m.rawTimestamp = p.rawTimestamp();
    m.relativeTime = p.relativeTime();
    m.unixTime = p.unixTime();
    m.seconds = be32(d);
    m.subseconds = uint16_t((d[4] << 8) | d[5]);
    m.markerId = be32(d + 6);
    const size_t room = std::min<size_t>(TEXT_BYTES, bytes->size() - data - 10);
    std::memcpy(m.text, d + 10, room);
    m.text[TEXT_BYTES] = '\0';
    *out = m;
    return true;
}

bool compareMarkersByTimestamp(const MarkerData& a, const MarkerData& b) {
    return a.relativeTime < b.relativeTime;
}

int64_t getQuipUmkid(int tid, unsigned int markerIndex, int id) {
    return int64_t(id) + int64_t(markerIndex) * 100000LL + int64_t(tid) * 10000000000LL;
}

MarkerCache::MarkerCache(GseLib::TelemetryFile* file) : file_(file) {}

void MarkerCache::refresh() {
    if (!file_) {
        return;
    }
    while (GseLib::TMPacketPtr p = file_->getNextMatch(MarkerData::PACKET_TYPE)) {
        MarkerData m;
        if (!MarkerData::fromPacket(*p, collected_, &m)) {
            continue;  // too short to carry an id: nothing it could mark
        }
        ++collected_;
        insertByTime(all_, m);
        if (m.markerId != 0) {
            insertByTime(nonZero_, m);
        }
    }
}

void MarkerCache::reload() {
    all_.clear();
    nonZero_.clear();
    collected_ = 0;
    if (file_) {
        file_->reset();
    }
    refresh();
}

MarkerData MarkerCache::getMarker(unsigned int packetIndex, bool* found, bool skipZeroId) const {
    const GseLib::TelemetryCache* cache = GseLib::TelemetryFile::sharedCache();
    if (!cache || packetIndex >= cache->size()) {
        if (found)
            *found = false;
        return MarkerData();
    }
    return getMarker(cache->packets()[packetIndex]->relativeTime(), found, skipZeroId);
}

MarkerData MarkerCache::getMarker(double relativeTime, bool* found, bool skipZeroId) const {
    const QList<MarkerData>& list = skipZeroId ? nonZero_ : all_;
    // The first marker clearly after t; the one before it is the answer.
    auto it = std::upper_bound(list.begin(), list.end(), relativeTime + TIME_TOLERANCE,
                               [](double t, const MarkerData& m) { return t < m.relativeTime; });
    if (it == list.begin()) {
        if (found)
            *found = false;
        return MarkerData();
    }
    if (found)
        *found = true;
    return *std::prev(it);
}

QList<MarkerData> MarkerCache::matchingMarkers(int id) const {
    QList<MarkerData> out;
    for (const MarkerData& m : all_) {
        if (m.markerId == uint32_t(id))
            out.append(m);
    }
    return out;
}

QList<MarkerData> MarkerCache::matchingMarkers(const QString& text, bool caseSensitive) const {
    QList<MarkerData> out;
    const Qt::CaseSensitivity cs = caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    for (const MarkerData& m : all_) {
        if (m.textString().contains(text, cs))
            out.append(m);
    }
    return out;
}

QList<MarkerData> MarkerCache::matchingMarkers(const char* text, bool caseSensitive) const {
    return matchingMarkers(QString::fromLatin1(text), caseSensitive);
}

QList<MarkerData> MarkerCache::matchingMarkers(unsigned int firstIndex,
                                               unsigned int lastIndex) const {
    QList<MarkerData> out;
    for (const MarkerData& m : all_) {
        if (m.markerIndex >= firstIndex && m.markerIndex <= lastIndex)
            out.append(m);
    }
    return out;
}

QList<MarkerData> MarkerCache::matchingMarkers(double t0, double t1) const {
    QList<MarkerData> out;
    for (const MarkerData& m : all_) {
        if (m.relativeTime >= t0 && m.relativeTime <= t1)
            out.append(m);
    }
    return out;
}

}  // namespace TarGse
