#include <tarnlib/laserstatuspacket.h>

#include <tarnlib/scanconversions.h>

namespace TarGse {

LaserStatusPacket::LaserStatusPacket(std::shared_ptr<GseLib::TMPacket> packet) {
    if (!packet) {
        return;
    }
    packetIndex = packet->index();
    rawTimestamp = packet->rawTimestamp();
    relativeTime = packet->relativeTime();
    item1093 = ScanConversions::itemValue(STATUS_ITEM, *packet, Gse::ValueMode::Sci);
}

}  // namespace TarGse
