#include <gselib/ccsdspacket.h>
#include <gselib/timeresolver.h>
#include <gselib/tompacket.h>

#include "readertestutil.h"

#include <gtest/gtest.h>

using namespace GseLib;

namespace {

// A resolver with 1000 ticks per second whose Unix time is 1e9 s plus the packet's ticks; the
// first packet it sees becomes T0. Just enough to observe what the base class and the packet
// forwarders do with it.
class MilliResolver : public TimeResolver {
public:
    void reset() override { t0_.reset(); }
    double ticksToSeconds(long long t) const override { return t / 1000.0; }
    long long secondsToTicks(double s) const override { return static_cast<long long>(s * 1000); }
    double unixTime(const TMPacket* p) const override { return unixTime(p, p->rawTimestamp()); }
    double unixTime(const TMPacket*, long long t) const override { return 1e9 + ticksToSeconds(t); }
    double unixTimeOfT0Estimate() const override { return estimate; }
    double relativeTime(const TMPacket* p) const override {
        return relativeTime(p, p->rawTimestamp());
    }
    double relativeTime(const TMPacket*, long long t) const override {
        return ticksToSeconds(t) - ticksToSeconds(ticksOfT0());
    }
    uint32_t correctedCount() const override { return 0; }
    bool isSynced() const override { return true; }
    bool handlePacket(const std::shared_ptr<TMPacket>& p) override {
        if (!t0_)
            t0_ = p;
        return true;
    }
    std::shared_ptr<TMPacket> t0Packet() const override { return t0_; }

    double estimate = 0.0;

private:
    std::shared_ptr<TMPacket> t0_;
};

std::shared_ptr<TomPacket> packetAt(uint32_t ticks, const TimeResolver* r) {
    return std::make_shared<TomPacket>(
        std::make_shared<ByteVector>(testutil::tomPacket(2, 0, ticks, {0})), 0, r);
}

}  // namespace

TEST(TimeResolver, WithoutT0) {
    MilliResolver r;
    auto p = packetAt(2500, &r);
    p->setGroundSeconds(100);
    p->setGroundMilliseconds(250);
    EXPECT_EQ(r.ticksOfT0(), 0u);
    EXPECT_EQ(r.unixTimeOfT0(), 0.0);
    r.estimate = 1234.5;
    EXPECT_EQ(r.unixTimeOfT0(), 1234.5);
    EXPECT_DOUBLE_EQ(p->groundRelativeTime(), 100.25);
    EXPECT_EQ(r.unixOffset(), 0u);
    EXPECT_EQ(r.minimumT0Ticks(), 0u);
    EXPECT_FALSE(r.allowGseCreatedT0());
}

TEST(TimeResolver, WithT0) {
    MilliResolver r;
    r.estimate = 99.0;
    auto t0 = packetAt(1500, &r);
    t0->setGroundSeconds(50);
    t0->setGroundMilliseconds(900);
    auto later = packetAt(4000, &r);
    later->setGroundSeconds(53);
    later->setGroundMilliseconds(100);
    r.handlePacket(t0);
    r.handlePacket(later);

    EXPECT_EQ(r.ticksOfT0(), 1500u);
    EXPECT_DOUBLE_EQ(r.unixTimeOfT0(), 1e9 + 1.5);  // the packet's, not the estimate
    EXPECT_DOUBLE_EQ(t0->groundRelativeTime(), 0.0);
    EXPECT_NEAR(later->groundRelativeTime(), 2.2, 1e-12);
    r.reset();
    EXPECT_EQ(r.ticksOfT0(), 0u);
    EXPECT_EQ(r.unixTimeOfT0(), 99.0);
}

TEST(TimeResolver, PacketForwarders) {
    MilliResolver r;
    auto t0 = packetAt(1000, &r);
    r.handlePacket(t0);
    auto p = packetAt(3000, &r);
    EXPECT_DOUBLE_EQ(p->unixTime(), 1e9 + 3.0);
    EXPECT_DOUBLE_EQ(p->relativeTime(), 2.0);
    EXPECT_DOUBLE_EQ(p->unixTimeFromTicks(5000), 1e9 + 5.0);
    EXPECT_DOUBLE_EQ(p->relativeTimeFromTicks(5000), 4.0);
    // Seconds go through the resolver's secondsToTicks, which truncates to whole ticks here.
    EXPECT_DOUBLE_EQ(p->unixTimeFromSeconds(7.0009), 1e9 + 7.0);
    EXPECT_DOUBLE_EQ(p->relativeTimeFromSeconds(7.0009), 6.0);
}

TEST(TimeResolver, TimeOfPacketWithoutResolverIsAnError) {
    auto p = packetAt(1, nullptr);
    EXPECT_THROW(p->unixTime(), std::logic_error);
}
