#include <plugins/plugins.h>
#include <tarnlib/tarntime.h>
#include <tarnlib/tarntimeresolver.h>

#include "enginetestutil.h"

#include <gtest/gtest.h>

#include <cstring>

K814_IMPORT_BUILTIN_PLUGINS()

using namespace GseLib;
using namespace TarGse;
using testutil::DbFile;
using testutil::Engine;
using testutil::with;

namespace {

constexpr double kEpoch = 946728000.0;
constexpr double kFallback = kEpoch + 400.0;  // the test started 400 s into the mission

QMap<QString, QString> field(int id, int type, int offset, int size) {
    return with(testutil::basicRow(id, "T", QStringLiteral("F%1").arg(id)),
                {{"PACKET_TYPE", QString::number(type)},
                 {"DECODE_ID1", QString::number(offset)},
                 {"DECODE_ID2", QString::number(size)},
                 {"DECODE_ID3", "0"},
                 {"ENG_EQ_TYPE", "0"}});
}

// Time fields of type 2 (items 550-552) and type 7 (526-528) at data bytes 1-10.
DbFile timeDatabase() {
    DbFile f;
    f.row(field(550, 2, 9, 4)).row(field(551, 2, 13, 2)).row(field(552, 2, 15, 4));
    f.row(field(526, 7, 9, 4)).row(field(527, 7, 13, 2)).row(field(528, 7, 15, 4));
    return f;
}

const char* kCatalogue =
    "2, TIME, false, -1, -1\n7, DHK, false, -1, -1\n8, MSG, false, -1, -1\n"
    "10, SCI, false, -1, -1\n20, HK, false, -1, -1\n46, X46, false, -1, -1\n"
    "3, GSE, true, -1, -1\n";

// A TOM packet with its own bytes; the resolver under test is attached.
class Stream {
public:
    explicit Stream(TarnTimeResolver& r) : r_(r) {}
    TMPacketPtr add(int type, uint32_t ticks, std::vector<uint8_t> data = {0}) {
        const testutil::Bytes b = testutil::tomPacket(type, 0, ticks, data);
        auto p = std::make_shared<TomPacket>(b.data(), int(b.size()), int(packets.size()), &r_);
        packets.push_back(p);
        r_.handlePacket(p);
        return p;
    }
    TMPacketPtr time(int type, uint32_t ticks, uint32_t secs, uint32_t subsecs, uint32_t tick) {
        return add(type, ticks,
                   {0, uint8_t(secs >> 24), uint8_t(secs >> 16), uint8_t(secs >> 8), uint8_t(secs),
                    uint8_t(subsecs >> 8), uint8_t(subsecs), uint8_t(tick >> 24),
                    uint8_t(tick >> 16), uint8_t(tick >> 8), uint8_t(tick)});
    }
    TMPacketPtr message(uint32_t ticks, const char* text) {
        std::vector<uint8_t> d(text, text + std::strlen(text));
        d.push_back(0);
        return add(8, ticks, d);
    }
    std::vector<TMPacketPtr> packets;

private:
    TarnTimeResolver& r_;
};

class TarnResolver : public testing::Test {
protected:
    TarnResolver() : engine_(timeDatabase(), kCatalogue) { r.setT0Fallback(kFallback); }
    Engine engine_;

public:
    TarnTimeResolver r;
    Stream s{r};
};

}  // namespace

TEST_F(TarnResolver, TimeFieldsGiveTheTickZeroTime) {
    const auto t = s.time(2, 5000, 100, 32768, 5000);
    EXPECT_DOUBLE_EQ(getUnixTimeForTick0(*t), 946728100.0);  // 100 + 0.5 - 0.5 + epoch
    const auto hk = s.time(7, 9000, 200, 0, 10000);
    EXPECT_TRUE(isTimePkt(*hk));
    EXPECT_DOUBLE_EQ(getUnixTimeForTick0(*hk), kEpoch + 199.0);
    EXPECT_FALSE(isTimePkt(*s.add(7, 9000, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})));
    try {
        uint64_t a, b, c;
        getTimeFields(*s.add(20, 1), a, b, c);
        FAIL();
    } catch (const std::domain_error& e) {
        EXPECT_STREQ(e.what(), "getTimeFields() was passed a non-time packet");
    }
}

TEST_F(TarnResolver, PacketsBeforeSynchronisationAreRebased) {
    const auto a = s.add(20, 1000);
    const auto b = s.add(20, 2000);
    const auto c = s.add(20, 3000);
    EXPECT_DOUBLE_EQ(a->unixTime(), kFallback + 0.1);
    EXPECT_DOUBLE_EQ(c->unixTime(), kFallback + 0.3);
    EXPECT_DOUBLE_EQ(a->relativeTime(), 0.0);  // packet a is T0 from the start
    EXPECT_NEAR(c->relativeTime(), 0.2, 1e-6);
    EXPECT_FALSE(r.isSynced());

    // Mission second 1000.0 at tick 4000: tick 0 was at epoch + 999.6.
    const auto t = s.time(2, 4000, 1000, 0, 4000);
    const double tick0 = kEpoch + 999.6;
    EXPECT_TRUE(r.isSynced());
    EXPECT_EQ(r.correctedCount(), 1u);
    EXPECT_DOUBLE_EQ(c->unixTime(), tick0 + 0.3);
    EXPECT_DOUBLE_EQ(t->unixTime(), tick0 + 0.4);
    // Positions 0 and 1 take the T0 entry (packet 0 here).
    EXPECT_DOUBLE_EQ(b->unixTime(), a->unixTime());
    EXPECT_DOUBLE_EQ(a->unixTime(), tick0 + 0.1);
    EXPECT_EQ(r.t0Packet(), a);
    EXPECT_DOUBLE_EQ(a->relativeTime(), 0.0);
    EXPECT_NEAR(c->relativeTime(), 0.2, 1e-6);
    EXPECT_DOUBLE_EQ(c->unixTimeFromTicks(5000), tick0 + 0.5);
}

TEST_F(TarnResolver, ClockResetWaitsForTheNextTimePacket) {
    s.time(2, 10000, 500, 0, 10000);  // tick 0 at epoch + 499
    const auto before = s.add(20, 20000);
    EXPECT_DOUBLE_EQ(before->unixTime(), kEpoch + 501.0);
    // The counter went back: provisional time 10 s after the latest time known.
    const auto reset = s.add(20, 300);
    EXPECT_DOUBLE_EQ(reset->unixTime(), kEpoch + 501.0 + 10.0 + 0.03);
    const auto during = s.add(21, 600);
    EXPECT_DOUBLE_EQ(during->unixTime(), kEpoch + 511.03 + 10.0 + 0.06);
    const uint32_t corrections = r.correctedCount();
    // After the restart, mission second 600 at tick 1000: tick 0 at epoch + 599.9.
    s.time(2, 1000, 600, 0, 1000);
    EXPECT_EQ(r.correctedCount(), corrections + 1);
    EXPECT_DOUBLE_EQ(reset->unixTime(), kEpoch + 599.9 + 0.03);
    EXPECT_DOUBLE_EQ(during->unixTime(), kEpoch + 599.9 + 0.06);
    const auto after = s.add(20, 2000);
    EXPECT_DOUBLE_EQ(after->unixTime(), kEpoch + 600.1);
}

TEST_F(TarnResolver, BootLoaderMessageStartsWaiting) {
    s.time(2, 10000, 500, 0, 10000);
    s.add(20, 20000);
    const auto boot = s.message(30000, "TARN CDH Boot Loader starting");
    EXPECT_TRUE(isBootLoaderPkt(*boot));
    EXPECT_FALSE(isBootLoaderPkt(*s.message(30001, "CDH Boot Loader")));
    // Although its ticks went up, the packet is provisional until the next time packet.
    EXPECT_DOUBLE_EQ(boot->unixTime(), kEpoch + 501.0 + 10.0 + 3.0);
}

// Science packets before the first time packet, back-filled a second apart below the first one
// after it, are checked on the sample archive by the Python TARN time test.

TEST_F(TarnResolver, GroundPacketsAfterAnUntimedHousekeepingPacketAreRebased) {
    s.time(2, 10000, 500, 0, 10000);
    s.add(7, 15000, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});  // type 7 without time fields
    const auto gse = s.add(3, 1);  // ground-made: never T0, timed by the latest time packet
    EXPECT_DOUBLE_EQ(gse->unixTime(), kEpoch + 499.0001);
    const uint32_t corrections = r.correctedCount();
    s.time(2, 40000, 800, 0, 40000);  // tick 0 at epoch + 796
    EXPECT_GT(r.correctedCount(), corrections);
    EXPECT_DOUBLE_EQ(gse->unixTime(), kEpoch + 796.0001);
}

TEST_F(TarnResolver, ResetKeepsTheReservation) {
    EXPECT_GE(r.reservedEntries(), TarnTimeResolver::RESERVED_ENTRIES);
    const auto p = s.add(20, 5);
    r.reset();
    EXPECT_EQ(r.entryCount(), 0u);
    EXPECT_GE(r.reservedEntries(), TarnTimeResolver::RESERVED_ENTRIES);
    EXPECT_EQ(r.t0Packet(), nullptr);
    EXPECT_FALSE(r.isSynced());
    EXPECT_EQ(p->unixTime(), 0.0);  // beyond the vector now
}
