#include <tarnlib/sciencedatacache.h>
#include <tarnlib/sebsequence.h>
#include <tarnlib/tarntimeresolver.h>
#include <tarnlib/tartelemetrycache.h>

#include <gselib/telemetryfile.h>

#include "readertestutil.h"
#include "scantestutil.h"

#include <gtest/gtest.h>

#include <QFile>

using namespace testutil;
using namespace scantest;
using TarGse::ScienceDataCache;

namespace {

struct Stream {
    Bytes bytes;
    uint32_t ticks = 0;
    int count = 0;

    int add(int type, const Bytes& data, uint32_t dt = 10) {
        ticks += dt;
        const Bytes p = tomPacket(type, count & 0xFF, ticks, data);
        bytes.insert(bytes.end(), p.begin(), p.end());
        return count++;
    }
    void other(int n) {
        for (int i = 0; i < n; ++i)
            add(5, {0, 1, 2});
    }
    // A scan of bins / 100 single science packets of 100 bins, counts 1; the last one may close.
    int singleScan(int bins, uint8_t closing = 0) {
        int first = count;
        for (int b = 0; b < bins; b += 100)
            add(26, singleData(uint16_t(b + 1), std::vector<uint8_t>(100, 1), 0,
                               b + 100 >= bins ? closing : 0));
        return first;
    }
    int summed(int scans = 1, int bins = 10) {
        Bytes counts(size_t(2 * bins), 0);
        for (size_t i = 1; i < counts.size(); i += 2)
            counts[i] = 3;
        return add(27, multiData(0, scans, {{1, 0, 0, 0}}, {}, counts));
    }
    int status(uint32_t dt = 10) { return add(25, statusData(), dt); }
};

// The science data cache over a stream written to a file and read by the shared reader.
struct ScienceRun {
    explicit ScienceRun(const Bytes& bytes, TARN::ScanTypes types = TARN::ScanTypes(7)) {
        file.write(bytes);
        // The TARN reader's resolver over a header check that takes every packet, so scenario
        // streams need no packet-type catalogue. Without time packets relative times are
        // ticks / 10000 from the first packet.
        cache = new TestCache(GseLib::TelemetryCache::Tom, {}, new TarGse::TarnTimeResolver);
        GseLib::TelemetryFile::setSharedCache(cache);
        testing::internal::CaptureStderr();
        cache->changeFile(file.path, true);
        testing::internal::GetCapturedStderr();
        science = std::make_unique<ScienceDataCache>();
        science->setScanTypes(types);
        science->refresh();
    }
    ~ScienceRun() {
        science.reset();
        GseLib::TelemetryFile::setSharedCache(nullptr);
    }
    const TarGse::ScanData& scan(int i) const { return *science->scan(i); }

    File file;
    TestCache* cache = nullptr;
    std::unique_ptr<ScienceDataCache> science;
};

std::vector<int> binsOf(const ScienceDataCache& c) {
    std::vector<int> out;
    for (const auto& s : c.scans())
        out.push_back(s->nBins());
    return out;
}

}  // namespace

TEST(ScienceDataCache, EndOfScanByNonSciencePackets) {
    struct Case {
        const char* name;
        int firstBins;
        int others;      // non-science packets after the first scan
        int secondBins;  // 0: no second scan
        int moreOthers;  // non-science packets after the second scan
        std::vector<int> scans;
    };
    const std::vector<Case> cases = {
        {"1000 bins never end by count", 1000, 150, 0, 0, {}},
        {"2000 bins: 100 are not enough", 2000, 100, 0, 0, {}},
        {"2000 bins end after 101", 2000, 101, 0, 0, {2000}},
        {"20000 bins: 50 are not enough", 20000, 50, 0, 0, {}},
        {"20000 bins end after 51", 20000, 51, 0, 0, {20000}},
        {"same length after the first: 20 are not enough", 2000, 101, 2000, 20, {2000}},
        {"same length after the first ends after 21", 2000, 101, 2000, 21, {2000, 2000}},
        {"another length never ends by count", 2000, 101, 1500, 300, {2000}},
    };
    Engine engine(scanDatabase());
    for (const Case& c : cases) {
        Stream s;
        s.singleScan(c.firstBins);
        s.other(c.others);
        if (c.secondBins) {
            s.singleScan(c.secondBins);
            s.other(c.moreOthers);
        }
        const ScienceRun run(s.bytes);
        EXPECT_EQ(binsOf(*run.science), c.scans) << c.name;
    }
}

TEST(ScienceDataCache, RefusingAndClosingPacketsEndScans) {
    Engine engine(scanDatabase());
    Stream s;
    const int first = s.singleScan(1000);
    s.other(3);
    s.singleScan(300, ScienceDataCache::CLOSING_BYTE);  // lower first bin ends the 1000
    s.singleScan(200);  // ended by the next packet's lower first bin
    // That packet opens the next scan; its closing byte does not end the scan it opens.
    const std::vector<uint8_t> ones(100, 1);
    s.add(26, singleData(1, ones, 0, ScienceDataCache::CLOSING_BYTE));
    s.add(26, singleData(101, ones, 0, 0));  // still being collected at the end
    const ScienceRun run(s.bytes);
    ASSERT_EQ(binsOf(*run.science), (std::vector<int>{1000, 300, 200}));
    EXPECT_EQ(run.scan(0).packetIndexes().front(), first);
    EXPECT_EQ(run.scan(0).packetIndexes().size(), 10);
    EXPECT_EQ(run.science->currentScan().nBins(), 200);
    EXPECT_EQ(run.science->ticTrace().size(), 3);
    EXPECT_EQ(run.science->ticTrace()[1].y(), 300.0);
}

TEST(ScienceDataCache, ScanStatusRules) {
    Engine engine(scanDatabase());
    {
        // A status 1.5 s after a single-packet scan without status joins it and stays pending.
        Stream s;
        s.singleScan(200, ScienceDataCache::CLOSING_BYTE);
        const int late = s.status(15000);
        const ScienceRun run(s.bytes);
        ASSERT_EQ(run.science->size(), 1);
        EXPECT_EQ(run.scan(0).scanStatusPacketIndexes(), (QList<int>{late}));
        EXPECT_EQ(run.science->pendingScanStatuses().size(), 1);
    }
    {
        // 2.5 s is too late.
        Stream s;
        s.singleScan(200, ScienceDataCache::CLOSING_BYTE);
        s.status(25000);
        const ScienceRun run(s.bytes);
        EXPECT_TRUE(run.scan(0).scanStatuses.isEmpty());
    }
    {
        // A status 1.2 s older than the summed packet is stale; one 0.5 s older is used.
        Stream s;
        s.status();
        s.summed(1);
        const int used = s.status();
        s.add(5, {0}, 5000);
        s.summed(1);
        s.status();
        s.add(5, {0}, 12000);
        s.summed(1);
        const ScienceRun run(s.bytes);
        ASSERT_EQ(run.science->size(), 3);
        EXPECT_EQ(run.scan(0).scanStatuses.size(), 1);
        EXPECT_EQ(run.scan(1).scanStatusPacketIndexes(), (QList<int>{used}));
        EXPECT_TRUE(run.scan(2).scanStatuses.isEmpty());
        EXPECT_TRUE(run.science->pendingScanStatuses().isEmpty());
    }
    {
        // Late statuses of a summed scan of 3: those within 14 packets of it join.
        Stream s;
        const int scan = s.summed(3);
        const int a = s.status();
        s.other(12);
        const int b = s.status();  // 14 packets after the scan
        const int c = s.status();  // 15: too far
        const ScienceRun run(s.bytes);
        EXPECT_EQ(b - scan, 14);
        EXPECT_EQ(run.scan(0).scanStatusPacketIndexes(), (QList<int>{a, b}));
        // All three stay pending for the next scan, c among them though it joined none.
        ASSERT_EQ(run.science->pendingScanStatuses().size(), 3);
        EXPECT_EQ(run.science->pendingScanStatuses().last().packetIndex, c);
    }
}

TEST(ScienceDataCache, PendingStatusesKeepWhatASummedScanCanUse) {
    // 70 statuses and no summed packet: only the latest 63 (the most a summed scan holds) stay.
    Engine engine(scanDatabase());
    Stream s;
    std::vector<int> statuses;
    for (int i = 0; i < 70; ++i)
        statuses.push_back(s.status(1));
    const ScienceRun run(s.bytes);
    const auto& pending = run.science->pendingScanStatuses();
    ASSERT_EQ(pending.size(), 63);
    EXPECT_EQ(pending.first().packetIndex, statuses[7]);
    EXPECT_EQ(pending.last().packetIndex, statuses.back());
}

TEST(ScienceDataCache, AuxiliaryPacketsAndFilter) {
    Engine engine(scanDatabase());
    Stream s;
    Bytes hk(12, 0);
    hk[10 - 8] = 1;  // filament A on
    put16(hk, 12 - 8, 40);
    const int hkIndex = s.add(22, hk);
    Bytes pulses(8, 0);
    put16(pulses, 2, 6);  // item 1087: 12 uJ
    const int laser = s.add(15, pulses);
    const int gc = s.add(14, {0, 0});
    const int first = s.summed(1);
    s.add(26, singleData(101, std::vector<uint8_t>(20, 1)), 30000);  // 3 s after the GC packet
    s.add(26, singleData(1, std::vector<uint8_t>(20, 1)));  // a lower first bin completes it
    s.add(28, multiData(0, 1, {{1, 0, 0, 0}}, {}, Bytes(20, 1)));
    {
        const ScienceRun run(s.bytes);
        ASSERT_EQ(run.science->size(), 3);
        EXPECT_EQ(run.scan(0).packetIndexes(), (QList<int>{first}));
        // SEB housekeeping goes to every scan, the laser pulses to the first only.
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(run.scan(i).sebHk.packetIndex, hkIndex) << i;
        EXPECT_TRUE(run.scan(0).sebHk.filamentAOn);
        EXPECT_FALSE(run.scan(0).sebHk.filamentBOn);
        ASSERT_EQ(run.scan(0).sebHk.emonA.sciItems.size(), 1u);
        EXPECT_EQ(run.scan(0).sebHk.emonA.sciItems[0].toDouble(), 20.0);
        EXPECT_EQ(run.scan(0).sebHk.emonA.sciUnits, "nA");
        EXPECT_TRUE(run.scan(0).sebHk.emonB.items.empty());  // no item 18
        EXPECT_EQ(run.scan(0).laserPulses.packetIndex, laser);
        EXPECT_EQ(run.scan(0).laserPulses.pulses, (QList<double>{12.0}));
        EXPECT_EQ(run.scan(1).laserPulses.packetIndex, -1);
        // The GC packet describes the first scan only; the second starts 3 s after it.
        EXPECT_EQ(run.scan(0).gcHk.packetIndex, gc);
        EXPECT_EQ(run.scan(1).gcHk.packetIndex, -1);
        EXPECT_EQ(run.scan(0).ionSource(), TarGse::ScanData::GcSource);
        EXPECT_TRUE(run.science->hasScansFromGcSource());
        EXPECT_FALSE(run.science->hasScansFromLdiSource());
        EXPECT_EQ(run.scan(0).determineScanMode(), TarGse::ScanData::EiMode);
        // Time range and traces.
        const double t1 = run.science->scanTimes()[1];
        EXPECT_EQ(run.science->scanIndexRange(t1, t1 + 0.0001), qMakePair(1, 2));
        EXPECT_EQ(run.science->scanIndexRange(1e9, 1e9), qMakePair(3, 3));
        const QList<QPointF> maxTrace = run.science->maxIonCountTrace(1);
        ASSERT_EQ(maxTrace.size(), 2);
        EXPECT_EQ(maxTrace[0], QPointF(t1, 1.0));
    }
    const ScienceRun only27(s.bytes, TARN::SummedScan);
    ASSERT_EQ(only27.science->size(), 1);
    EXPECT_EQ(only27.scan(0).srcPktType, 27);
}

TEST(ScienceDataCache, SebSequencesPendUntilTheNextScanStatusRequest) {
    Engine engine(scanDatabase());
    auto seq = [](uint32_t address, uint8_t command) {
        return sequenceData(sebCommand(command, {}), address);
    };
    Stream s;
    s.add(23, seq(5, 21));                 // continuation without a sequence: dropped
    const int a = s.add(23, seq(0, 23));   // asks for a scan status
    const int a2 = s.add(23, seq(8, 21));  // continues it
    s.summed(1);
    const int b = s.add(23, seq(0, 21));  // a new sequence after SEND_SCAN_STATUS
    const int c = s.add(23, seq(0, 18));  // pends beside b
    s.summed(1);
    const ScienceRun run(s.bytes);
    ASSERT_EQ(run.science->size(), 2);
    EXPECT_EQ(run.scan(0).sebSequencePacketIndexes(), (QList<int>{a, a2}));
    EXPECT_EQ(run.scan(1).sebSequencePacketIndexes(), (QList<int>{b, c}));
    EXPECT_EQ(run.science->pendingSebSequences().size(), 2);
}

TEST(ScienceDataCache, IncrementalRefreshEqualsOneRead) {
    Engine engine(scanDatabase());
    Stream s;
    s.add(22, Bytes(12, 0));
    s.singleScan(2000);
    s.other(101);
    s.status();
    s.singleScan(2000);
    s.status();
    s.other(30);
    s.summed(2);
    s.status();
    s.status();
    s.add(28, multiData(0, 1, {{1, 0, 0, 0}}, {}, Bytes(50, 2)));
    s.singleScan(700, ScienceDataCache::CLOSING_BYTE);
    s.singleScan(400);

    auto snapshot = [](const ScienceDataCache& c) {
        std::vector<std::vector<double>> out;
        for (const auto& scan : c.scans()) {
            std::vector<double> row = {double(scan->nBins()), scan->totalCounts(),
                                       scan->relativeTimestamp(), double(scan->scanStatuses.size()),
                                       double(scan->sebHk.packetIndex)};
            for (int i : scan->packetIndexes())
                row.push_back(i);
            out.push_back(row);
        }
        out.push_back({double(c.currentScan().nBins()), double(c.pendingScanStatuses().size())});
        return out;
    };
    const ScienceRun whole(s.bytes);
    EXPECT_EQ(whole.science->size(), 5);

    // The same bytes written in pieces that cut packets, refreshing after each.
    File file;
    auto* cache = new TestCache(GseLib::TelemetryCache::Tom, {}, new TarGse::TarnTimeResolver);
    GseLib::TelemetryFile::setSharedCache(cache);
    ScienceDataCache pieces;
    const size_t n = s.bytes.size();
    const size_t cuts[] = {n / 7, n / 7 + 1, n / 3, n / 2 + 3, n * 4 / 5, n};
    size_t done = 0;
    testing::internal::CaptureStderr();
    for (size_t cut : cuts) {
        file.write(Bytes(s.bytes.begin() + long(done), s.bytes.begin() + long(cut)), done > 0);
        if (done == 0)
            cache->changeFile(file.path, true);
        else
            cache->grow();
        pieces.refresh();
        done = cut;
    }
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(snapshot(pieces), snapshot(*whole.science));

    // reload reads the file again from its start: the same scans.
    pieces.reload();
    EXPECT_EQ(snapshot(pieces), snapshot(*whole.science));
    pieces.clearCache();
    EXPECT_EQ(pieces.size(), 0);
    EXPECT_TRUE(pieces.ticTrace().isEmpty());
    GseLib::TelemetryFile::setSharedCache(nullptr);
}

TEST(TarTelemetryCache, SebHousekeepingSetsTheBinPeriod) {
    DbFile db = scanDatabase();
    db.row(item(86, 22, 14, 2, 0, 10));  // item 86: 10 per count
    Engine engine(db, "22, SEB_HK, false, 8, 8\n26, SCI, false, 0, 200\n");
    Stream s;
    Bytes hk(8, 0);
    put16(hk, 14 - 8, 0x0102);
    s.add(22, hk);
    s.add(22, Bytes(7, 0));  // a length the catalogue refuses: not a packet
    File file;
    file.write(s.bytes);
    TarGse::TarTelemetryCache::ip_ = 0.0;
    TarGse::TarTelemetryCache cache;
    testing::internal::CaptureStderr();
    cache.changeFile(file.path, true);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(cache.size(), 1u);
    EXPECT_DOUBLE_EQ(TarGse::TarTelemetryCache::ip_, 0x0102 * 10 / 1e7);
    EXPECT_EQ(TarGse::TarMissionSpecifics().mission2secs(25000), 2.5);
    EXPECT_EQ(TarGse::TarMissionSpecifics().secs2mission(2.5), 25000u);
}
