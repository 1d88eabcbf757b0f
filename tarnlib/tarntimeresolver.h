#pragma once

#include <gselib/timeresolver.h>

#include <array>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace TarGse {

/**
 * @brief TARN packet times: a 10 kHz tick counter that restarts with the processor, correlated
 * with mission time by time packets.
 *
 * Every packet of the file is recorded in order with its Unix time and the Unix time of its
 * tick 0. Packets seen before the first time packet are stamped from the test's start (the T0
 * fallback) and re-based when it arrives; packets after a clock reset are stamped provisionally
 * and re-based by the next time packet.
 */
class TarnTimeResolver : public GseLib::TimeResolver {
public:
    /// Entries reserved up front, so that a large file never reallocates the vector.
    static constexpr size_t RESERVED_ENTRIES = 1250000;

    TarnTimeResolver();

    void reset() override;
    void setT0Fallback(double unixSeconds) override;
    double ticksToSeconds(long long ticks) const override { return ticks / 10000.0; }
    long long secondsToTicks(double seconds) const override;
    double unixTime(const GseLib::TMPacket* packet) const override;
    double unixTime(const GseLib::TMPacket* packet, long long ticks) const override;
    double unixTimeOfT0Estimate() const override { return t0Estimate_; }
    double relativeTime(const GseLib::TMPacket* packet) const override;
    double relativeTime(const GseLib::TMPacket* packet, long long ticks) const override;
    uint32_t correctedCount() const override { return correctedCount_; }
    bool isSynced() const override { return !notSynced_; }
    bool handlePacket(const std::shared_ptr<GseLib::TMPacket>& packet) override;
    std::shared_ptr<GseLib::TMPacket> t0Packet() const override { return t0_; }

    double unixTimeForTick0(size_t i) const;
    double relativeTimeForTick0(size_t i) const;
    size_t entryCount() const { return entries_.size(); }
    size_t reservedEntries() const { return entries_.capacity(); }

private:
    using Entry = std::pair<double, double>;  // Unix time, Unix time of tick 0

    void resetState();
    double base() const;
    void append(double unix, double tick0);
    /// Appends the times of a packet with raw timestamp raw on the clock whose tick 0 fell at
    /// Unix time tick0 (a time packet's getUnixTimeForTick0, decoded once per time packet).
    void addToPktTimeVector(uint32_t raw, double tick0);
    void fudgeTimestampAndAddToPktTimeVector(uint32_t raw);
    /// Moves entry i onto the clock whose tick 0 fell at Unix time tick0.
    /// @throw std::domain_error for an index beyond the vector
    void alterPktTimeVectorEntry(double tick0, size_t i);
    void correctGseTimestamps(std::vector<size_t>& positions, double step);
    void raiseLatest(double unix);
    /// The last raw timestamp recorded for type, or -1 for none.
    int64_t lastRaw(int type) const;
    void setLastRaw(int type, uint32_t raw);
    void forgetLastRaws();

    std::vector<Entry> entries_;
    std::shared_ptr<GseLib::TMPacket> t0_;
    size_t t0Position_ = 0;
    uint32_t t0Raw_ = 0;
    bool noT0_ = true;
    double t0Fallback_ = 0.0;
    double t0Estimate_ = 0.0;
    std::shared_ptr<GseLib::TMPacket> latestTimePacket_;
    double latestTick0_ = 0.0;  // getUnixTimeForTick0 of latestTimePacket_
    bool notSynced_ = true;
    bool waiting_ = true;
    double latestUnix_ = 0.0;
    // Last raw timestamp per packet type: a table for the types a TOM header can hold (-1: none
    // yet), a map for any other.
    static constexpr int FLAT_TYPES = 256;
    std::array<int64_t, FLAT_TYPES> lastRawFlat_;
    std::map<int, uint32_t> lastRawByType_;
    std::vector<size_t> clockResetPositions_;
    std::vector<size_t> gsePositions_;
    std::vector<size_t> type10Positions_;
    std::vector<size_t> type45Positions_;
    std::vector<size_t> type46Positions_;
    bool backfill10_ = true;
    bool backfill45_ = true;
    bool backfill46_ = true;
    bool latestType7HadNoTimeFields_ = false;
    uint32_t correctedCount_ = 0;
};

}  // namespace TarGse
