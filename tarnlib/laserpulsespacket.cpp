#include <tarnlib/laserpulsespacket.h>

#include <gselib/datainterpretation.h>
#include <gselib/tmdatabase.h>
#include <tarnlib/scanconversions.h>

namespace TarGse {

LaserPulsesPacket::LaserPulsesPacket(std::shared_ptr<GseLib::TMPacket> packet) {
    if (!packet) {
        return;
    }
    packetIndex = packet->index();
    rawTimestamp = packet->rawTimestamp();
    relativeTime = packet->relativeTime();
    if (GseLib::DataInterpretation::hasCurrent()) {
        const GseLib::DataInterpretation& di = *GseLib::DataInterpretation::current();
        GseLib::DataItems items;
        if (di.db() && di.db()->contains(PULSES_ITEM) &&
            di.getData(PULSES_ITEM, packet.get(), items, Gse::ValueMode::Sci, true, nullptr)) {
            for (const GseLib::DataItem& item : items) {
                pulses.append(item.toDouble());
                pulseSum += pulses.back();
            }
        }
    }
    item1089 = ScanConversions::itemValue(MEAN_ENERGY_ITEM, *packet, Gse::ValueMode::Sci);
    item1090 = ScanConversions::itemValue(ITEM_1090, *packet, Gse::ValueMode::Sci);
    item1091 = ScanConversions::itemValue(ITEM_1091, *packet, Gse::ValueMode::Sci);
    item1092 = ScanConversions::itemValue(SD_ENERGY_ITEM, *packet, Gse::ValueMode::Sci);
}

}  // namespace TarGse
