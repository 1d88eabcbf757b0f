#pragma once

#include <gselib/tmpacket.h>

#include <memory>

namespace TarGse {

/**
 * @brief The laser-status packet (type 16) attached to a scan.
 *
 * Packet index -1 means no packet is attached.
 */
class LaserStatusPacket {
public:
    static constexpr int STATUS_ITEM = 1093;

    LaserStatusPacket() = default;
    explicit LaserStatusPacket(std::shared_ptr<GseLib::TMPacket> packet);

    bool isPresent() const { return packetIndex >= 0; }

    int packetIndex = -1;
    uint64_t rawTimestamp = 0;
    double relativeTime = 0.0;
    double item1093 = 0.0;  ///< science value
};

}  // namespace TarGse
