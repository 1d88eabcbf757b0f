#pragma once

#include <gselib/secondstimeresolvers.h>

namespace VireoGse {

/**
 * @brief VIREO packet clock: whole seconds since 2010-01-01 in the raw timestamp and 1/256 s in
 * byte 10; T0 is the first packet seen.
 */
class VireoTimeResolver : public GseLib::GenericTimeResolver {
public:
    static constexpr unsigned long long EPOCH_2010 = 1262304000;

    /// Forgets the VIREO T0 too, so a re-read file latches it again.
    void reset() override;
    double unixTime(const GseLib::TMPacket* packet) const override;
    double unixTime(const GseLib::TMPacket* packet, long long ticks) const override;
    double relativeTime(const GseLib::TMPacket* packet) const override;
    double relativeTime(const GseLib::TMPacket* packet, long long ticks) const override;
    bool handlePacket(const std::shared_ptr<GseLib::TMPacket>& packet) override;
    std::shared_ptr<GseLib::TMPacket> t0Packet() const override { return vireoT0_; }

private:
    std::shared_ptr<GseLib::TMPacket> vireoT0_;
};

}  // namespace VireoGse
