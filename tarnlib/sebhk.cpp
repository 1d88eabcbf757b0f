#include <tarnlib/sebhk.h>

#include <gselib/datainterpretation.h>
#include <gselib/tmdatabase.h>
#include <tarnlib/scanconversions.h>

namespace TarGse {

namespace {

SebHK::EmonSeries emonSeries(int id, const GseLib::TMPacket& packet) {
    SebHK::EmonSeries s;
    if (!GseLib::DataInterpretation::hasCurrent()) {
        return s;
    }
    const GseLib::DataInterpretation& di = *GseLib::DataInterpretation::current();
    if (!di.db() || !di.db()->contains(uint32_t(id))) {
        return s;
    }
    const GseLib::TmDatabaseRow& row = di.db()->row(uint32_t(id));
    if (!di.decodePacket(row, &packet, s.items, true, nullptr)) {
        s.items.clear();
        return s;
    }
    s.sciItems = s.items;
    for (GseLib::DataItem& item : s.sciItems) {
        item.value = row.convertValue(item.toDouble(), Gse::ValueMode::Sci);
    }
    s.sciUnits = QString::fromLatin1(row.sci_units);
    return s;
}

}  // namespace

SebHK::SebHK(std::shared_ptr<GseLib::TMPacket> packet) {
    if (!packet) {
        return;
    }
    packetIndex = packet->index();
    rawTimestamp = packet->rawTimestamp();
    relativeTime = packet->relativeTime();
    filamentAOn = ScanConversions::itemValue(FILAMENT_A_ITEM, *packet, Gse::ValueMode::Raw) > 0;
    filamentBOn = ScanConversions::itemValue(FILAMENT_B_ITEM, *packet, Gse::ValueMode::Raw) > 0;
    emonA = emonSeries(EMON_A_ITEM, *packet);
    emonB = emonSeries(EMON_B_ITEM, *packet);
}

}  // namespace TarGse
