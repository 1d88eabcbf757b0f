#include <k814util/pyvireomarkercache.h>

#include <gselib/telemetryfile.h>
#include <vireolib/vireomarkercache.h>

#include <algorithm>
#include <stdexcept>

namespace k814util {

PyVireoMarkerCache::PyVireoMarkerCache() {
    VireoGse::VireoMarkerCache cache(std::make_shared<GseLib::TelemetryFile>());
    cache.reload();
    for (const VireoGse::Marker& m : cache.markers()) {
        markers_.emplace_back(m);
    }
    for (const VireoGse::Marker& m : cache.openMarkers()) {
        markers_.emplace_back(m);
    }
    std::stable_sort(markers_.begin(), markers_.end(),
                     [](const PyVireoMarker& a, const PyVireoMarker& b) {
                         return a.t_start_us() < b.t_start_us();
                     });
}

PyVireoMarker PyVireoMarkerCache::get(unsigned int index) const {
    if (index >= markers_.size()) {
        throw std::out_of_range("PyVireoMarkerCache.get was passed an invalid index.");
    }
    return markers_[index];
}

}  // namespace k814util
