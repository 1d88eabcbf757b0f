#pragma once

#include <QList>
#include <QString>
#include <cstdint>
#include <memory>

namespace GseLib {
class TelemetryFile;
class TMPacket;
}  // namespace GseLib

namespace TarGse {

/**
 * @brief One TARN marker packet (type 9): mission time, marker id and text, with the packet's
 * place and times in the file.
 */
struct MarkerData {
    int packetIndex = 0;
    /// Position among all markers of the file, in file order.
    unsigned int markerIndex = 0;
    uint64_t rawTimestamp = 0;
    double relativeTime = 0.0;
    double unixTime = 0.0;
    uint64_t seconds = 0;
    uint16_t subseconds = 0;
    uint32_t markerId = 0;
    /// The 62 text bytes and a terminating zero.
    char text[63] = {};

    static constexpr int PACKET_TYPE = 9;
    static constexpr int TEXT_BYTES = 62;

    /// The marker of packet p; false when the packet is too short for its id.
    static bool fromPacket(const GseLib::TMPacket& p, unsigned int markerIndex, MarkerData* out);
    QString textString() const { return QString::fromLatin1(text); }
};

/// Orders markers by relative time.
bool compareMarkersByTimestamp(const MarkerData& a, const MarkerData& b);

/// A unique 64-bit key of a marker for the external database tool.
int64_t getQuipUmkid(int tid, unsigned int markerIndex, int id);

/**
 * @brief The markers of a TARN telemetry file, kept in time order, and the marker that precedes
 * any packet or time.
 */
class MarkerCache {
public:
    /// Reads through file, which must outlive the cache.
    explicit MarkerCache(GseLib::TelemetryFile* file);

    /// Collects the marker packets from the file's current position on.
    void refresh();
    /// Forgets every marker, rewinds the file and refreshes.
    void reload();

    /// The last marker not after the packet's relative time (1e-5 s tolerance).
    MarkerData getMarker(unsigned int packetIndex, bool* found, bool skipZeroId) const;
    /// The last marker not after relativeTime (1e-5 s tolerance).
    MarkerData getMarker(double relativeTime, bool* found, bool skipZeroId) const;

    QList<MarkerData> matchingMarkers(int id) const;
    QList<MarkerData> matchingMarkers(const QString& text, bool caseSensitive) const;
    QList<MarkerData> matchingMarkers(const char* text, bool caseSensitive) const;
    /// Markers whose marker index lies in firstIndex..lastIndex.
    QList<MarkerData> matchingMarkers(unsigned int firstIndex, unsigned int lastIndex) const;
    /// Markers whose relative time lies in t0..t1.
    QList<MarkerData> matchingMarkers(double t0, double t1) const;

    const QList<MarkerData>& markers() const { return all_; }
    const QList<MarkerData>& nonZeroMarkers() const { return nonZero_; }

private:
    GseLib::TelemetryFile* file_;
    QList<MarkerData> all_;
    QList<MarkerData> nonZero_;
    unsigned int collected_ = 0;
};

}  // namespace TarGse
