#pragma once

// Resolvers for packets whose header timestamp already counts seconds. They share the T0 rule
// and differ in how a raw timestamp becomes Unix time.

#include <gselib/timeresolver.h>

namespace GseLib {

/**
 * @brief Base of the seconds-counting resolvers: one tick is one second; T0 is the first packet
 * accepted by `acceptsAsT0`.
 */
class SecondsTimeResolver : public TimeResolver {
public:
    void reset() override { t0_.reset(); }
    double ticksToSeconds(long long ticks) const override { return static_cast<double>(ticks); }
    long long secondsToTicks(double seconds) const override;
    /// s(t) - s(raw(T0)), or s(t) without T0.
    double relativeTime(const TMPacket* packet, long long ticks) const override;
    uint32_t correctedCount() const override { return 0; }
    bool isSynced() const override { return true; }
    bool handlePacket(const std::shared_ptr<TMPacket>& packet) override;
    std::shared_ptr<TMPacket> t0Packet() const override { return t0_; }

protected:
    /// No T0 yet and raw(p) at least the minimum; ground-made packets only when allowed.
    virtual bool acceptsAsT0(const TMPacket& packet) const;

private:
    std::shared_ptr<TMPacket> t0_;
};

/// @brief Raw timestamps are Unix seconds.
class UnixTimeResolver : public SecondsTimeResolver {
public:
    double unixTime(const TMPacket* packet) const override;
    double unixTime(const TMPacket* packet, long long ticks) const override;
    double relativeTime(const TMPacket* packet) const override;
    using SecondsTimeResolver::relativeTime;
};

/// @brief Raw timestamps are seconds from an epoch offset seconds after 1970, plus milliseconds.
class GpsTimeResolver : public SecondsTimeResolver {
public:
    explicit GpsTimeResolver(unsigned long long offset) : offset_(offset) {}
    double unixTime(const TMPacket* packet) const override;
    double unixTime(const TMPacket* packet, long long ticks) const override;
    double relativeTime(const TMPacket* packet) const override;
    using SecondsTimeResolver::relativeTime;
    unsigned long long unixOffset() const override { return offset_; }

private:
    unsigned long long offset_;
};

/// @brief Raw timestamps are seconds since 1958-01-01 (no leap-second correction).
class TaiTimeResolver : public SecondsTimeResolver {
public:
    static constexpr unsigned long long offset = 378691200;
    double unixTime(const TMPacket* packet) const override;
    /// Not available for this convention: logs a warning and returns 0.0.
    double unixTime(const TMPacket* packet, long long ticks) const override;
    double relativeTime(const TMPacket* packet) const override;
    using SecondsTimeResolver::relativeTime;

protected:
    bool acceptsAsT0(const TMPacket& packet) const override;
};

/// @brief Unix time is the raw value of the packet type's time item in the current engine.
class GenericTimeResolver : public SecondsTimeResolver {
public:
    double unixTime(const TMPacket* packet) const override;
    /// Not available for this convention: logs a warning and returns 0.0.
    double unixTime(const TMPacket* packet, long long ticks) const override;
    double relativeTime(const TMPacket* packet) const override;
    using SecondsTimeResolver::relativeTime;

protected:
    bool acceptsAsT0(const TMPacket& packet) const override;
};

}  // namespace GseLib
