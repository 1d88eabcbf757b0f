#pragma once

#include <gselib/tmpacket.h>

#include <QList>
#include <memory>

namespace TarGse {

/**
 * @brief The laser-pulses packet (type 15) attached to an LDI scan: the energy of every pulse
 * and the packet's energy statistics.
 *
 * Packet index -1 means no packet is attached.
 */
class LaserPulsesPacket {
public:
    static constexpr int PULSES_ITEM = 1087;
    static constexpr int MEAN_ENERGY_ITEM = 1089;
    static constexpr int ITEM_1090 = 1090;
    static constexpr int ITEM_1091 = 1091;
    static constexpr int SD_ENERGY_ITEM = 1092;

    LaserPulsesPacket() = default;
    explicit LaserPulsesPacket(std::shared_ptr<GseLib::TMPacket> packet);

    bool isPresent() const { return packetIndex >= 0; }
    int laserShots() const { return int(pulses.size()); }
    double meanEnergy() const { return item1089; }
    double sdEnergy() const { return item1092; }

    int packetIndex = -1;
    uint64_t rawTimestamp = 0;
    double relativeTime = 0.0;
    /// Science value of each pulse (item 1087), and their sum.
    QList<double> pulses;
    double pulseSum = 0.0;
    double item1089 = 0.0;
    double item1090 = 0.0;
    double item1091 = 0.0;
    double item1092 = 0.0;
};

}  // namespace TarGse
