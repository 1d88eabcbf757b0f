#pragma once

#include <gselib/dataitem.h>
#include <gselib/tmpacket.h>

#include <QString>
#include <memory>

namespace TarGse {

/**
 * @brief The SEB housekeeping packet (type 22) attached to a scan: filament states and the
 * electron-multiplier monitor series EMON A and EMON B.
 *
 * Packet index -1 means no packet is attached.
 */
class SebHK {
public:
    static constexpr int FILAMENT_A_ITEM = 105;
    static constexpr int FILAMENT_B_ITEM = 102;
    static constexpr int EMON_A_ITEM = 17;
    static constexpr int EMON_B_ITEM = 18;

    /// One monitor series: the items as decoded, the same with science values, and units.
    struct EmonSeries {
        GseLib::DataItems items;
        GseLib::DataItems sciItems;
        QString sciUnits;
    };

    SebHK() = default;
    /// Decodes a SEB housekeeping packet; a database without an item leaves its part empty.
    explicit SebHK(std::shared_ptr<GseLib::TMPacket> packet);

    bool isPresent() const { return packetIndex >= 0; }

    int packetIndex = -1;
    uint64_t rawTimestamp = 0;
    double relativeTime = 0.0;
    bool filamentAOn = false;
    bool filamentBOn = false;
    EmonSeries emonA;
    EmonSeries emonB;
};

}  // namespace TarGse
