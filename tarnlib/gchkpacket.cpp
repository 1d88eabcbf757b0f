#include <tarnlib/gchkpacket.h>

namespace TarGse {

GcHkPacket::GcHkPacket(const std::shared_ptr<GseLib::TMPacket>& packet)
    : packetIndex(packet ? packet->index() : -1) {}

}  // namespace TarGse
