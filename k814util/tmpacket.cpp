#include <k814util/tmpacket.h>

#include <gselib/datainterpretation.h>
#include <gselib/tmdatabase.h>
#include <gselib/tmpacket.h>
#include <k814util/rawvalue.h>
#include <tarnlib/metamarkercache.h>

#include <cmath>
#include <cstring>
#include <stdexcept>

namespace k814util {

namespace {

constexpr int MESSAGE_TYPE = 8;

}  // namespace

TMPacket::TMPacket(std::shared_ptr<GseLib::TMPacket> tmPacketPtr,
                   TarGse::MarkerCache* markerCachePtr)
    : packet_(std::move(tmPacketPtr)) {
    if (!packet_) {
        throw std::invalid_argument("TMPacket needs a packet");
    }
    if (markerCachePtr) {
        marker_ = markerCachePtr->getMarker(packet_->relativeTime(), &hasMarker_, false);
    }
    unixTimestamp_ = packet_->unixTime();
    relativeTimestamp_ = packet_->relativeTime();
}

std::vector<int> TMPacket::_raw_packet() const {
    const auto& b = *packet_->bytes();
    const size_t n = std::min(b.size(), size_t(std::max(packet_->totalLength(), 0)));
    return std::vector<int>(b.begin(), b.begin() + std::ptrdiff_t(n));
}

int TMPacket::get_type() const {
    return packet_->type();
}
int TMPacket::full_type() const {
    return packet_->fullType();
}
int TMPacket::total_length() const {
    return packet_->totalLength();
}
int TMPacket::length() const {
    return packet_->dataLength();
}
unsigned int TMPacket::checksum() const {
    return packet_->checksum();
}
bool TMPacket::gse_created() const {
    return packet_->isGseCreated();
}
int TMPacket::sequence() const {
    return packet_->sequence();
}
unsigned int TMPacket::sclk() const {
    return packet_->rawTimestamp();
}
int TMPacket::index() const {
    return packet_->index();
}
int TMPacket::marker_id() const {
    return hasMarker_ ? int(marker_.markerId) : 0;
}
int TMPacket::quip_marker_index() const {
    return hasMarker_ ? int(marker_.markerIndex) + 1 : 0;
}
std::string TMPacket::marker_text() const {
    return hasMarker_ ? std::string(marker_.text) : std::string();
}

std::vector<TarGse::MetaMarker> TMPacket::get_meta_markers() const {
    TarGse::MetaMarkerCache& cache = TarGse::MetaMarkerCache::getInstance();
    cache.refresh();
    const QList<TarGse::MetaMarker> found = cache.getMetaMarkers(relativeTimestamp_);
    return std::vector<TarGse::MetaMarker>(found.begin(), found.end());
}

std::vector<TMDatapoint> TMPacket::all_data(int hkid, int mode) const {
    std::vector<TMDatapoint> points;
    const GseLib::DataInterpretation* di = GseLib::DataInterpretation::current();
    if (hkid < 0 || !di->db() || !di->db()->contains(uint32_t(hkid))) {
        return points;
    }
    const GseLib::TmDatabaseRow row = di->db()->row(uint32_t(hkid));
    GseLib::DataItems items;
    di->decodePacket(hkid, packet_.get(), items, true, nullptr);
    for (const GseLib::DataItem& item : items) {
        const double value =
            row.convertValue(rawAsDouble(item.value), static_cast<Gse::ValueMode>(mode));
        if (!std::isnan(value)) {
            points.emplace_back(item.unixTime, item.relativeTime, value);
        }
    }
    return points;
}

std::string TMPacket::raw_message() const {
    return packet_->type() == MESSAGE_TYPE ? packet_->dataText() : std::string();
}

}  // namespace k814util
