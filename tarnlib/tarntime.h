#pragma once

#include <cstdint>
#include <memory>

namespace GseLib {
class TMPacket;
}

// Time fields of TARN packets and the mission-time arithmetic built on them.
namespace TarGse {

/// Mission time counts from this Unix second (2000-01-01 12:00:00 UTC).
constexpr double MISSION_EPOCH_UNIX = 946728000.0;
constexpr double TICKS_PER_SECOND = 10000.0;
/// One unit of the sub-second field: 1/65536 s.
constexpr double SUBSEC_UNIT = 1.52587890625e-5;

/**
 * Mission seconds, sub-seconds and the tick they were taken at, of a type 2, 7 or 9 packet.
 * @throw std::domain_error "getTimeFields() was passed a non-time packet" for other types
 */
void getTimeFields(const GseLib::TMPacket& packet, uint64_t& secs, uint64_t& subsecs,
                   uint64_t& tick);
/// Type 2, or type 7 with any of its time fields present and non-zero.
bool isTimePkt(const GseLib::TMPacket& packet);
/// True for a type-7 packet whose time fields are present and not all zero.
bool isDigitalHkPktWithNonZeroTimeFields(const GseLib::TMPacket& packet);
/// A type-8 message whose text is a flight-software boot-loader announcement.
bool isBootLoaderPkt(const GseLib::TMPacket& packet);

/// Mission time at which the tick counter read 0.
double getRetForTick0(uint64_t secs, uint64_t subsecs, uint64_t tick);
/// Unix time at which the packet's tick counter read 0, from its time fields.
double getUnixTimeForTick0(const GseLib::TMPacket& packet);
inline double retToUnixTime(double ret) {
    return ret + MISSION_EPOCH_UNIX;
}
double convertPktTimestampToUnixTime(const GseLib::TMPacket& packet, double unixTimeForTick0);

}  // namespace TarGse
