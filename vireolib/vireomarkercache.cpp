#include <vireolib/vireomarkercache.h>

#include <gselib/telemetryfile.h>
#include <tools/logger/eventmessage.h>
#include <vireolib/markerpacket.h>

#include <stdexcept>

namespace VireoGse {

std::unique_ptr<VireoMarkerCache> VireoMarkerCache::cache_;

VireoMarkerCache::VireoMarkerCache(std::shared_ptr<GseLib::TelemetryFile> file, QObject* parent)
    : QObject(parent), file_(std::move(file)) {}

VireoMarkerCache::~VireoMarkerCache() = default;

void VireoMarkerCache::initSharedCache(std::shared_ptr<GseLib::TelemetryFile> file) {
    cache_ = std::make_unique<VireoMarkerCache>(std::move(file));
}

void VireoMarkerCache::refresh() {
    if (!file_) {
        return;
    }
    while (GseLib::TMPacketPtr packet = file_->getNextMatch(MarkerPacket::APID)) {
        apply(*packet);
    }
}

void VireoMarkerCache::reload() {
    clear();
    refresh();
}

void VireoMarkerCache::clear() {
    open_.clear();
    markers_.clear();
    if (file_) {
        file_->reset();
    }
}

QList<Marker> VireoMarkerCache::matchingIntervals(const QString& text, bool startsWith) const {
    const QByteArray wanted = text.toLatin1();
    QList<Marker> found;
    for (const Marker& m : markers_) {
        if (startsWith ? m.text().startsWith(wanted) : m.text().contains(wanted)) {
            found.append(m);
        }
    }
    return found;
}

void VireoMarkerCache::apply(const GseLib::TMPacket& packet) {
    const MarkerPacket mp(packet);
    uint32_t id = 0;
    uint32_t type = 0;
    try {
        id = mp.markerId();
        type = mp.markerType();
    } catch (const std::out_of_range&) {
        // A marker packet cut before its fields says nothing about any interval.
        GSE_LOG_WARN("vireo_marker_cache",
                     QStringLiteral("Marker packet too short: %1 bytes").arg(packet.totalLength()));
        return;
    }
    const double unixTime = packet.unixTime();
    if (id != 0) {
        if (open_.contains(id)) {
            GSE_LOG_WARN("vireo_marker_cache", QStringLiteral("Existing marker found...closing"));
            closeMarker(id, unixTime);
        }
        const Marker marker(mp);
        open_.insert(id, marker);
        emit markerIntervalOpened(marker);
        GSE_LOG_INFO("vireo_marker_cache",
                     QStringLiteral("Marker opened: ") + marker.toNiceString());
    } else if (type == 0) {
        for (uint32_t openId : open_.keys()) {
            closeMarker(openId, unixTime);
        }
    } else if (!open_.contains(type)) {
        GSE_LOG_WARN("vireo_marker_cache",
                     QStringLiteral("No match for marker close: id=%1 type=%2 text=%3 t=%4")
                         .arg(id)
                         .arg(type)
                         .arg(QString::fromLatin1(mp.text()))
                         .arg(unixTime, 0, 'f', 6));
    } else {
        closeMarker(type, unixTime);
    }
}

void VireoMarkerCache::closeMarker(uint32_t id, double unixTime) {
    Marker marker = open_.take(id);
    marker.close(unixTime);
    markers_.append(marker);
    emit markerIntervalClosed(marker);
    GSE_LOG_INFO("vireo_marker_cache", QStringLiteral("Marker closed: ") + marker.toNiceString());
}

}  // namespace VireoGse
