#pragma once

#include <vireolib/marker.h>

#include <QHash>
#include <QList>
#include <QObject>
#include <memory>

namespace GseLib {
class TelemetryFile;
class TMPacket;
}  // namespace GseLib

namespace VireoGse {

/**
 * @brief The test-marker intervals of a VIREO telemetry file.
 *
 * A marker packet with a non-zero id opens an interval; one with id 0 closes the interval whose
 * id is its marker type, or every open interval when that type is 0. Completed intervals are kept
 * in closing order, open ones by id until a later packet closes them.
 */
class VireoMarkerCache : public QObject {
    Q_OBJECT
public:
    explicit VireoMarkerCache(std::shared_ptr<GseLib::TelemetryFile> file,
                              QObject* parent = nullptr);
    ~VireoMarkerCache() override;

    /// Installs the process-wide cache on file, replacing the previous one.
    static void initSharedCache(std::shared_ptr<GseLib::TelemetryFile> file);
    /// The process-wide cache, or null before initSharedCache.
    static VireoMarkerCache* sharedCache() { return cache_.get(); }

    /// Applies the marker packets from the file's current position on.
    void refresh();
    /// Forgets every marker, rewinds the file and refreshes.
    void reload();
    /// Forgets every marker and rewinds the file.
    void clear();

    /// Number of completed markers.
    int size() const { return int(markers_.size()); }
    bool isEmpty() const { return markers_.isEmpty(); }
    /// The completed markers, in closing order.
    const QList<Marker>& markers() const { return markers_; }
    QList<Marker> openMarkers() const { return open_.values(); }
    /// Completed markers whose text begins with (startsWith) or contains text, case-sensitively.
    QList<Marker> matchingIntervals(const QString& text, bool startsWith) const;

signals:
    void markerIntervalOpened(const VireoGse::Marker& marker);
    void markerIntervalClosed(const VireoGse::Marker& marker);

private:
    void apply(const GseLib::TMPacket& packet);
    void closeMarker(uint32_t id, double unixTime);

    static std::unique_ptr<VireoMarkerCache> cache_;

    std::shared_ptr<GseLib::TelemetryFile> file_;
    QHash<uint32_t, Marker> open_;
    QList<Marker> markers_;
};

}  // namespace VireoGse
