#pragma once

#include <cstdint>
#include <memory>

namespace GseLib {

class TMPacket;

/**
 * @brief Turns a packet's raw timestamp into Unix seconds and seconds relative to T0.
 *
 * The telemetry cache owns one resolver and shows it every packet it appends (`handlePacket`),
 * in file order; that is where a resolver latches its T0 packet and learns any time correlation.
 * Packets keep a plain pointer to the resolver and forward all their time accessors to it.
 */
class TimeResolver {
public:
    virtual ~TimeResolver();

    /// Forgets T0 (and whatever correlation the resolver learned).
    virtual void reset() = 0;
    /// Start of the test in Unix seconds, offered after a reset; ignored unless overridden.
    virtual void setT0Fallback(double unixSeconds);
    virtual double ticksToSeconds(long long ticks) const = 0;
    virtual long long secondsToTicks(double seconds) const = 0;
    virtual double unixTime(const TMPacket* packet) const = 0;
    virtual double unixTime(const TMPacket* packet, long long ticks) const = 0;
    /// Unix time of T0 while no T0 packet is latched; 0.0 unless overridden.
    virtual double unixTimeOfT0Estimate() const;
    virtual double relativeTime(const TMPacket* packet) const = 0;
    virtual double relativeTime(const TMPacket* packet, long long ticks) const = 0;
    /// Number of correction passes the resolver made over earlier packets.
    virtual uint32_t correctedCount() const = 0;
    virtual bool isSynced() const = 0;
    /// Seconds added to raw timestamps to reach Unix time; 0 unless overridden.
    virtual unsigned long long unixOffset() const;
    /// Called for every appended packet, in file order; returns whether the packet is accepted.
    virtual bool handlePacket(const std::shared_ptr<TMPacket>& packet) = 0;
    virtual std::shared_ptr<TMPacket> t0Packet() const = 0;

    /// The T0 packet's Unix time, or `unixTimeOfT0Estimate()` without T0.
    double unixTimeOfT0() const;
    /// The T0 packet's raw timestamp, or 0 without T0.
    uint32_t ticksOfT0() const;
    /// Ground receipt time of packet minus that of T0 (or the packet's own without T0).
    double groundRelativeTime(const TMPacket* packet) const;

    uint64_t minimumT0Ticks() const { return minimumT0Ticks_; }
    void setMinimumT0Ticks(uint64_t ticks) { minimumT0Ticks_ = ticks; }
    bool allowGseCreatedT0() const { return allowGseCreatedT0_; }
    void setAllowGseCreatedT0(bool allow) { allowGseCreatedT0_ = allow; }

private:
    uint64_t minimumT0Ticks_ = 0;
    bool allowGseCreatedT0_ = false;
};

}  // namespace GseLib
