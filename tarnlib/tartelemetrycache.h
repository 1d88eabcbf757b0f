#pragma once

#include <gselib/missionspecifics.h>
#include <gselib/telemetrycache.h>

#include <cstdint>

namespace TarGse {

/**
 * @brief The TARN telemetry file reader: TOM packets timed by `TarnTimeResolver`.
 *
 * Headers are checked against the packet-type catalogue, and every SEB housekeeping packet
 * updates the bin period used by the aggregated science decoder (`ip_`).
 */
class TarTelemetryCache : public GseLib::TelemetryCache {
    Q_OBJECT
public:
    /// Seconds per bin from the latest SEB housekeeping packet (item 86 / 1e7); 0 until seen.
    static double ip_;

    explicit TarTelemetryCache(QObject* parent = nullptr);

protected:
    /// The catalogue accepts (byte 0, data length at bytes 2-3).
    bool validHeader(const unsigned char* header) override;
    void hookPacket(const GseLib::TMPacketPtr& packet) override;
};

/// @brief TARN raw timestamps count units of 100 microseconds.
class TarMissionSpecifics : public GseLib::MissionSpecifics {
public:
    double rawTimestampUnit() const override { return 1e-4; }
    double mission2secs(double ticks) const { return ticks * 0.0001; }
    uint64_t secs2mission(double seconds) const { return uint64_t(seconds * 10000); }
    /// A new resolver, owned by the caller.
    GseLib::TimeResolver* makeTimeResolver() const;
    /// TOM packets.
    int packetFormat() const { return GseLib::TelemetryCache::Tom; }
};

}  // namespace TarGse
