#pragma once

#include <gselib/tmpacket.h>

#include <memory>

namespace TarGse {

/**
 * @brief The GC housekeeping packet (type 14) attached to a scan taken from the gas
 * chromatograph: only its place in the file is kept.
 *
 * Packet index -1 means no packet is attached.
 */
class GcHkPacket {
public:
    GcHkPacket() = default;
    explicit GcHkPacket(const std::shared_ptr<GseLib::TMPacket>& packet);

    bool isPresent() const { return packetIndex >= 0; }

    int packetIndex = -1;
};

}  // namespace TarGse
