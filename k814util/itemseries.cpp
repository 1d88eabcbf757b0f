#include <k814util/itemseries.h>

#include <gselib/datainterpretation.h>
#include <gselib/telemetrycache.h>
#include <gselib/telemetryfile.h>
#include <gselib/tmdatabase.h>
#include <gselib/tmpacket.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <variant>

namespace k814util {

namespace {

// The number all_data makes of a raw value: text is read as a decimal number, 0.0 when it is
// none.
double rawAsDouble(const GseLib::DataItem::Value& v) {
    if (const auto* d = std::get_if<double>(&v))
        return *d;
    if (const auto* i = std::get_if<int64_t>(&v))
        return static_cast<double>(*i);
    if (const auto* u = std::get_if<uint64_t>(&v))
        return static_cast<double>(*u);
    bool ok = false;
    const double parsed = std::get<QByteArray>(v).trimmed().toDouble(&ok);
    return ok ? parsed : 0.0;
}

}  // namespace

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
