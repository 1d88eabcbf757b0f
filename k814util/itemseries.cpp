#include <k814util/itemseries.h>

#include <gselib/datainterpretation.h>
#include <gselib/telemetrycache.h>
#include <gselib/telemetryfile.h>
#include <gselib/tmdatabase.h>
#include <gselib/tmpacket.h>
#include <k814util/rawvalue.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <variant>

namespace k814util {

ItemSeries::ItemSeries(int hkid, int mode) {
    if (mode < 0 || mode > 2) {
        throw std::invalid_argument("mode must be 0 (raw), 1 (eng) or 2 (sci), not " +
                                    std::to_string(mode));
    }
    const GseLib::DataInterpretation* di = GseLib::DataInterpretation::current();
    if (hkid < 0 || !di->db() || !di->db()->contains(uint32_t(hkid))) {
        throw std::invalid_argument("no database item has the id " + std::to_string(hkid));
    }
    const GseLib::TmDatabaseRow& row = di->db()->row(uint32_t(hkid));
    const auto valueMode = static_cast<Gse::ValueMode>(mode);
    const GseLib::TelemetryCache* cache = GseLib::TelemetryFile::sharedCache();
    if (!cache) {
        return;
    }
    GseLib::DataItems items;
    const auto& packets = cache->packets();
    for (size_t position = 0; position < packets.size(); ++position) {
        const GseLib::TMPacket* packet = packets[position].get();
        // The packet type is compared here too so that the packets of other types, most of a
        // file, cost no call.
        if (!packet || static_cast<uint32_t>(packet->type()) != row.packet_type) {
            continue;
        }
        items.clear();
        di->decodePacket(row, packet, items, true, nullptr);
        for (const GseLib::DataItem& item : items) {
            const double value = row.convertValue(rawAsDouble(item.value), valueMode);
            if (std::isnan(value)) {
                continue;
            }
            if (const auto* text = std::get_if<QByteArray>(&item.value)) {
                // Numbers seen before the first text get empty texts.
                texts_.resize(values_.size());
                texts_.emplace_back(text->constData(), size_t(text->size()));
            } else if (!texts_.empty()) {
                texts_.emplace_back();
            }
            unixTimes_.push_back(item.unixTime);
            relativeTimes_.push_back(item.relativeTime);
            values_.push_back(value);
            packets_.push_back(int64_t(position));
        }
    }
}

}  // namespace k814util
