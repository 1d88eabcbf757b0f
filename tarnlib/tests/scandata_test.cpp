#include <tarnlib/masscal.h>
#include <tarnlib/pointwitherror.h>
#include <tarnlib/scandata.h>
#include <tarnlib/scanstatus.h>
#include <tarnlib/scidatapacket.h>

#include "scantestutil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

using namespace testutil;
using namespace scantest;
using TarGse::ScanData;
using TarGse::ScanStatus;
using TarGse::SciDataPacket;

namespace {

uint32_t floatBits(float f) {
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

SciDataPacket segment(uint16_t start, uint16_t n, double rf, std::vector<double> counts = {}) {
    SciDataPacket s;
    s.startBin = start;
    s.numBins = n;
    s.endBin = uint16_t(start + n);
    s.rfAmp = rf;
    s.rfAmpDac = rf * 10;
    for (size_t j = 0; j < counts.size(); ++j)
        s.counts[j] = counts[j];
    s.updateTotals();
    return s;
}

ScanStatus status(double binTimeUs, double ionTimeMs, double em2, double srcAFocA) {
    ScanStatus s;
    s.timing[245 - 237] = binTimeUs;
    s.timing[239 - 237] = ionTimeMs;
    s.dacSettings[1] = em2;
    s.dacReadbacks[6] = srcAFocA;
    return s;
}

}  // namespace

TEST(SciDataPacket, DecodesSingleSciencePackets) {
    Engine engine(scanDatabase());
    struct Case {
        const char* name;
        Bytes data;
        uint16_t startBin, numBins;
        double sum, max, rfAmp, rfDac, aux;
        uint8_t flag;
    };
    Bytes plain = singleData(11, {1, 2, 3, 250, 4}, 0x0102);
    put16(plain, 10, 0x0304);
    put16(plain, 12, 0x0010);
    plain[14] = 0x5A;
    // A length below 9 wraps in 16 bits and is capped at 100 bins, as is an oversized one.
    Bytes shortLength = singleData(1, std::vector<uint8_t>(100, 2));
    put16(shortLength, 4, 3);
    Bytes longLength = singleData(1, std::vector<uint8_t>(120, 1));
    const std::vector<Case> cases = {
        {"plain", plain, 10, 5, 260, 250, 2.58, 1 + 0.5 * 0x0304, 3 + 0.25 * 16, 0x5A},
        {"wrapped length", shortLength, 0, 100, 200, 2, 0, 1, 3, 0},
        {"oversized length", longLength, 0, 100, 100, 1, 0, 1, 3, 0},
    };
    for (const Case& c : cases) {
        const SciDataPacket s(tom(26, c.data, 1234));
        EXPECT_EQ(s.startBin, c.startBin) << c.name;
        EXPECT_EQ(s.numBins, c.numBins) << c.name;
        EXPECT_EQ(s.endBin, c.startBin + c.numBins) << c.name;
        EXPECT_DOUBLE_EQ(s.countSum, c.sum) << c.name;
        EXPECT_DOUBLE_EQ(s.maxCount, c.max) << c.name;
        EXPECT_DOUBLE_EQ(s.rfAmp, c.rfAmp) << c.name;
        EXPECT_DOUBLE_EQ(s.rfAmpDac, c.rfDac) << c.name;
        EXPECT_DOUBLE_EQ(s.auxAmpDac, c.aux) << c.name;
        EXPECT_EQ(s.flagByte, c.flag) << c.name;
        EXPECT_EQ(s.rawTimestamp, 1234u) << c.name;
    }
    // A packet cut short reads zeros, never past its bytes.
    Bytes cut = singleData(1, {9, 9});
    put16(cut, 4, 9 + 50);
    const SciDataPacket s(tom(26, cut));
    EXPECT_EQ(s.numBins, 50);
    EXPECT_DOUBLE_EQ(s.countSum, 18 + 0);  // two counts, then the 4 checksum bytes of zeros
}

TEST(ScanData, BuildsSummedAndAggregatedScans) {
    Engine engine(scanDatabase());
    // Counts 0x0100 + k: read little-endian they would be (k << 8) + 1.
    auto counts16 = [](int n, int divisorCheck = 0) {
        Bytes c;
        for (int k = 0; k < n; ++k) {
            c.push_back(1);
            c.push_back(uint8_t(divisorCheck ? 7 : k));
        }
        return c;
    };
    const std::vector<Segment> three = {{1, 100, 2, 4}, {101, 200, 4, 8}, {201, 300, 6, 12}};
    // Version 2 records: TIC, MBC SIC, IEEE float correction factor; 3 scans are padded. The
    // sample archive holds summed packets of every version with their TICs and factors; the
    // cases here are those it leaves out.
    Bytes records;
    const float factors[3] = {1.5f, 0.25f, 2.0f};
    for (uint32_t i = 0; i < 3; ++i) {
        put32(records, records.size(), 100u * (i + 1));
        put16(records, records.size(), uint16_t(7 + i));
        put32(records, records.size(), floatBits(factors[i]));
    }
    records.insert(records.end(), {0xEE, 0xEE});
    struct Case {
        const char* name;
        int type;
        Bytes data;
        bool average;
        std::vector<int> bins;         // per segment
        double firstCount, lastCount;  // first count of segment 0 and of the last segment
    };
    auto summed = [&](int version, int scans, const Bytes& block, int bins) {
        return multiData(version, scans, three, block, counts16(bins));
    };
    const Bytes averaged = multiData(0, 2, {{1, 0, 0, 0}}, {}, counts16(10, 1));
    const Bytes aggregated = multiData(0, 2, {{1, 0, 0, 0}, {101, 0, 0, 0}}, {}, Bytes(150, 7));
    const std::vector<Case> cases = {
        // Segment 2's slot starts at count 200, whatever segment 1 held.
        {"v0, 250 bins", 27, summed(0, 2, {}, 250), false, {100, 100, 50}, 256, 456},
        {"v0, 300 bins", 27, summed(0, 1, {}, 300), false, {100, 100, 100}, 256, 456},
        // The padding is not subtracted from the length: its 2 bytes make one bin more.
        {"v2, padded", 27, summed(2, 3, records, 250), false, {100, 100, 51}, 256, 456},
        {"v0 averaged", 27, averaged, true, {10}, 263 / 2.0, 263 / 2.0},
        {"aggregated, never divided", 28, aggregated, true, {100, 50}, 7, 7},
    };
    for (const Case& c : cases) {
        const ScanData s(tom(c.type, c.data, 500), {}, c.average, TARN::FirstPacket);
        ASSERT_EQ(s.sciDataPackets.size(), c.bins.size()) << c.name;
        for (size_t i = 0; i < c.bins.size(); ++i)
            EXPECT_EQ(s.sciDataPackets[i].numBins, c.bins[i]) << c.name << " segment " << i;
        EXPECT_EQ(s.srcPktType, c.type) << c.name;
        EXPECT_EQ(s.scanType, c.type == 27 ? 2 : 4) << c.name;
        EXPECT_DOUBLE_EQ(s.sciDataPackets.front().counts[0], c.firstCount) << c.name;
        EXPECT_DOUBLE_EQ(s.sciDataPackets.back().counts[0], c.lastCount) << c.name;
    }

    // Segment descriptors: 1-based first bins and the three RF values through their items.
    const ScanData v2(tom(27, cases[2].data), {}, false, TARN::FirstPacket);
    EXPECT_EQ(v2.sciDataPktVersion, 2);
    EXPECT_EQ(v2.numSummedScans, 3);
    EXPECT_EQ(std::vector<uint16_t>(v2.mbcSics.begin(), v2.mbcSics.end()),
              (std::vector<uint16_t>{7, 8, 9}));
    EXPECT_EQ(v2.sciDataPackets[1].startBin, 100);
    EXPECT_EQ(v2.sciDataPackets[2].endBin, 251);
    EXPECT_DOUBLE_EQ(v2.sciDataPackets[1].rfAmp, 2.0);
    EXPECT_DOUBLE_EQ(v2.sciDataPackets[1].rfAmpDac, 1 + 0.5 * 4);
    EXPECT_DOUBLE_EQ(v2.sciDataPackets[1].auxAmpDac, 3 + 0.25 * 8);
    EXPECT_EQ(v2.nBins(), 251);

    // A per-scan block longer than the packet wraps the remainder in 16 bits; the bins stay
    // capped at 100 per segment and no count is read from outside the packet.
    const ScanData wrapped(tom(27, multiData(1, 63, {{1, 0, 0, 0}}, {}, Bytes(4, 0))), {}, false,
                           TARN::FirstPacket);
    EXPECT_EQ(wrapped.nBins(), 100);
    EXPECT_EQ(wrapped.scanTics.size(), 63);

    // Only the most recent statuses up to the number of summed scans are kept.
    QList<ScanStatus> statuses;
    for (int i = 0; i < 4; ++i) {
        statuses.append(ScanStatus());
        statuses.back().packetIndex = i;
    }
    const ScanData kept(tom(27, multiData(0, 2, three, {}, counts16(250))), statuses, false,
                        TARN::FirstPacket);
    EXPECT_EQ(kept.scanStatusPacketIndexes(), (QList<int>{2, 3}));
}

TEST(ScanStatus, ReadsFixedBytesThroughDacRowsAndItemsThroughTheDatabase) {
    Engine engine(scanDatabase());
    addDacRows(*engine.di().dacTable());
    Bytes d = statusData();
    // The timing, phase-cycle and bin-count items are read back from the sample archive by the
    // Python scan tests. Data bytes = packet bytes - 8.
    d[34 - 8] = 50;          // readback 6: (50 - 10) / 2
    d[51 - 8] = 0x9C;        // setting 1 (EM2): signed -100 / -0.05
    put16(d, 28, 0xF123);    // first 12-bit group: the top 4 bits are not data
    put16(d, 60, 0x0102);    // RF DAC at scan end through row 13, not 14
    put16(d, 62, 0x0064);    // auxiliary DAC at scan end through row 15
    put16(d, 88 - 8, 2345);  // item 202
    auto p = tom(25, d, 777);
    p->setIndex(9);
    const ScanStatus s(p);
    EXPECT_EQ(s.packetIndex, 9);
    EXPECT_EQ(s.rawTimestamp, 777u);
    EXPECT_DOUBLE_EQ(s.srcAFocAReg(), 20.0);
    EXPECT_DOUBLE_EQ(s.em2(), 2000.0);
    EXPECT_EQ(s.dacSettingsRaw[1], 0x9C);
    EXPECT_EQ(s.dac12FirstRaw[0], 0x123);
    EXPECT_DOUBLE_EQ(s.dac12First[0], 0x123);
    EXPECT_DOUBLE_EQ(s.rfAmpDacEnd, 25.8);
    EXPECT_DOUBLE_EQ(s.auxAmpDacEnd, 25.0);
    EXPECT_DOUBLE_EQ(s.lastRfAmpMon, 2.345);
    // Rows the table lacks (DAC 2) and items the database lacks (356) give 0.
    EXPECT_EQ(s.dacSettings[2], 0.0);
    EXPECT_EQ(s.rfFreqHz, 0.0);
}

TEST(ScanData, SelectedIonCountsUseSegmentTotalsAndPartialWalks) {
    ScanData s;
    std::vector<double> a(100), b(40);
    for (int j = 0; j < 100; ++j)
        a[size_t(j)] = j;  // bin j holds j
    for (int j = 0; j < 40; ++j)
        b[size_t(j)] = 1000 + j;
    ASSERT_TRUE(s.addSciDataPkt(segment(0, 100, 10.0, a), 1));
    ASSERT_TRUE(s.addSciDataPkt(segment(100, 40, 20.0, b), 2));
    EXPECT_FALSE(s.addSciDataPkt(segment(50, 10, 0), 3));  // below the last segment's start
    EXPECT_EQ(s.packetIndexes(), (QList<int>{1, 2}));
    const double whole = 4950 + 40 * 1000 + 780;
    struct Case {
        int low, high;
        double sum, max;
    };
    const std::vector<Case> cases = {
        {0, 0, whole, 1039},
        {-5, 0, whole, 1039},                    // a negative low bin counts as 0
        {10, 0, whole - 45, 1039},               // from bin 10 to the end
        {5, 5, 0, 0},                            // empty range
        {0, -1, 0, 0},                           // negative upper bin
        {98, 102, 98 + 99 + 1000 + 1001, 1001},  // across the segment boundary
        {0, 100, 4950, 99},                      // exactly the first segment
        {100, 140, 40 * 1000 + 780, 1039},
    };
    for (const Case& c : cases) {
        double sum = -1, max = -1;
        s.selectedIonCountSumAndMax(sum, max, c.low, c.high);
        EXPECT_DOUBLE_EQ(sum, c.sum) << c.low << ".." << c.high;
        EXPECT_DOUBLE_EQ(max, c.max) << c.low << ".." << c.high;
        EXPECT_DOUBLE_EQ(s.ionCount(c.low, c.high), c.sum);
    }
    EXPECT_EQ(s.maxIonCount(), 1039);
    EXPECT_EQ(s.highestCountBin(), 139);
    // No status: the RF end is extrapolated with the slope of the segment before.
    EXPECT_DOUBLE_EQ(s.rfAmpEnd(), 20.0 + 0.1 * 39);
    EXPECT_DOUBLE_EQ(s.rfAmpDACEnd(), 200.0 + 1.0 * 39);
    EXPECT_EQ(s.ticList(), (QList<uint32_t>{uint32_t(whole)}));
    EXPECT_TRUE(s.cTicList().isEmpty());
    EXPECT_EQ(s.totalScanTimeSecs(), 0.0);
    EXPECT_EQ(s.countsPerSecond(), 0.0);
    // binVsCounts: (startBin + j, count j) per segment.
    const QList<QPointF> points = s.binVsCounts();
    ASSERT_EQ(points.size(), 140);
    EXPECT_EQ(points[120], QPointF(120, 1020));
}

TEST(ScanData, TotalIonCountsAndCorrections) {
    // ticList of summed scans: scan TICs when present; else the total for one summed scan.
    ScanData summed;
    summed.scanType = TARN::SummedScan;
    summed.numSummedScans = 3;
    summed.addSciDataPkt(segment(0, 3, 0, {1, 2, 3}), 0);
    summed.srcPktType = 27;  // adding a segment made it a single-packet scan
    EXPECT_TRUE(summed.ticList().isEmpty());
    summed.numSummedScans = 1;
    EXPECT_EQ(summed.ticList(), (QList<uint32_t>{6}));

    // One status: a * b * TIC / (ionTime * em2 * exp((srcAFocA - c) * d)).
    ScanData s;
    s.addSciDataPkt(segment(0, 4, 0, {10, 20, 30, 40}), 0);
    EXPECT_EQ(s.correctedTotalIonCount(100, 100, -68, -0.0992), 0.0);  // no status
    s.scanStatuses.append(status(50.0, 4.0, 2000.0, 12.0));
    const double e = std::exp((12.0 + 68.0) * -0.0992);
    const double cTic = 100.0 * 100.0 * 100.0 / (4.0 * 2000.0 * e);
    EXPECT_NEAR(s.correctedTotalIonCount(100, 100, -68, -0.0992), cTic, cTic * 1e-12);
    EXPECT_NEAR(s.correctedTotalIonCountFactor(100, 100, -68, -0.0992), cTic / 100.0, cTic * 1e-14);
    const QList<QPointF> corrected = s.binVsCorrectedCounts(100, 100, -68, -0.0992);
    EXPECT_NEAR(corrected[3].y(), 40 * cTic / 100.0, cTic * 1e-12);
    EXPECT_DOUBLE_EQ(s.totalScanTimeSecs(), 50e-6 * 4);
    EXPECT_DOUBLE_EQ(s.countsPerSecond(), 100.0 / (50e-6 * 4));
    s.scanStatuses.back().dacSettings[1] = 0.0;  // no gain: no correction
    EXPECT_EQ(s.correctedTotalIonCount(100, 100, -68, -0.0992), 0.0);

    // Version 2 uses the packet's factors.
    ScanData v2;
    v2.scanType = TARN::SummedScan;
    v2.sciDataPktVersion = 2;
    v2.numSummedScans = 2;
    v2.averageSummedScans = true;
    v2.scanTics = {100, 300};
    v2.cFactors = {1.5, 0.5};
    v2.addSciDataPkt(segment(0, 2, 0, {150, 250}), 0);
    v2.scanStatuses = {ScanStatus(), ScanStatus()};
    EXPECT_DOUBLE_EQ(v2.correctedTotalIonCount(1, 1, 0, 0), (150.0 + 150.0) / 2);
    EXPECT_DOUBLE_EQ(v2.correctedTotalIonCountFactor(1, 1, 0, 0),
                     (100.0 / 400 * 1.5 + 300.0 / 400 * 0.5) / 2);
    EXPECT_EQ(v2.cTicList(), (QList<uint32_t>{150, 150}));
}

TEST(ScanData, TimestampsModesAndSources) {
    ScanData s;
    s.scanType = TARN::SummedScan;
    s.summedScanTimestampMode = TARN::MeanOfScans;
    SciDataPacket seg = segment(0, 10, 0);
    seg.relativeTime = 7.0;
    s.addSciDataPkt(seg, 0);
    EXPECT_EQ(s.relativeTimestamp(), 7.0);  // no status yet
    for (double t : {1.0, 2.0, 6.0}) {
        s.scanStatuses.append(ScanStatus());
        s.scanStatuses.back().relativeTime = t;
    }
    EXPECT_DOUBLE_EQ(s.relativeTimestamp(), 3.0);
    s.summedScanTimestampMode = TARN::MidpointOfScans;
    EXPECT_DOUBLE_EQ(s.relativeTimestamp(), 3.5);
    s.scanType = TARN::AggregatedScan;
    EXPECT_DOUBLE_EQ(s.relativeTimestamp(), 7.0);

    // Scan mode: no SEB housekeeping, filament on, not type 27, RF DAC end at the threshold.
    struct Case {
        const char* name;
        bool hk, filament;
        int type;
        double rfDacEnd;
        int mode;
        bool dark;
    };
    const std::vector<Case> cases = {
        {"no housekeeping", false, false, 27, 0, ScanData::UnknownMode, false},
        {"filament on", true, true, 27, 0, ScanData::EiMode, false},
        {"single packets", true, false, 26, 0, ScanData::LdiMode, false},
        {"dark at 100.0", true, false, 27, 100.0, ScanData::DarkMode, true},
        {"LDI at 100.5", true, false, 27, 100.5, ScanData::LdiMode, false},
    };
    for (const Case& c : cases) {
        ScanData m;
        m.srcPktType = c.type;
        m.sebHk.packetIndex = c.hk ? 4 : -1;
        m.sebHk.filamentBOn = c.filament;
        m.scanStatuses.append(ScanStatus());
        m.scanStatuses.back().rfAmpDacEnd = c.rfDacEnd;
        EXPECT_EQ(m.determineScanMode(), c.mode) << c.name;
        EXPECT_EQ(m.isDarkCountScan(), c.dark) << c.name;
    }
    ScanData src;
    EXPECT_EQ(src.ionSource(), ScanData::NoSource);
    src.laserPulses.packetIndex = 3;
    EXPECT_EQ(src.ionSource(), ScanData::LdiSource);
    src.gcHk.packetIndex = 2;
    EXPECT_EQ(src.ionSource(), ScanData::GcSource);
}

TEST(ScanData, TransformChainFollowsTheCalibrationsControlMode) {
    ScanData s;
    s.addSciDataPkt(segment(0, 100, 10.0), 0);
    s.addSciDataPkt(segment(100, 100, 20.0), 1);
    s.scanStatuses.append(ScanStatus());
    s.scanStatuses.back().lastRfAmpMon = 40.0;  // RF monitor at scan end
    s.scanStatuses.back().rfAmpDacEnd = 400.0;
    s.scanStatuses.back().phaseCycleReadback = 5;
    TarGse::MassCal cal;
    cal.addMassCalEntry(5);
    cal.addDataPoint(5, 0.0, 1.0);
    cal.addDataPoint(5, 100.0, 201.0);  // m/z = 1 + 2 x
    cal.addMassCalEntry(TarGse::MassCal::DEFAULT_PHASE_CYCLE);
    cal.addDataPoint(-1, 0.0, 0.0);
    cal.addDataPoint(-1, 100.0, 1000.0);  // a wrong phase cycle would give 10 x
    struct Case {
        TarGse::MassCal::ControlMode mode;
        double bin, mass;
    };
    // Bin 150: RF monitor 20 + (40 - 20) * 0.5 = 30, RF DAC 300, bin 150.
    const std::vector<Case> cases = {
        {TarGse::MassCal::RF_MON, 150, 1 + 2 * 30.0},
        {TarGse::MassCal::RF_DAC, 150, 1 + 2 * 300.0},
        {TarGse::MassCal::BIN, 150, 1 + 2 * 150.0},
        {TarGse::MassCal::RF_MON, 50, 1 + 2 * 15.0},
    };
    for (const Case& c : cases) {
        cal.setControlMode(c.mode);
        const auto toMass = s.getTransform(ScanData::Bin, ScanData::Mass, cal);
        EXPECT_NEAR(toMass->apply(c.bin), c.mass, 1e-9) << c.mode;
        const auto toBin = s.getTransform(ScanData::Mass, ScanData::Bin, cal);
        EXPECT_NEAR(toBin->apply(c.mass), c.bin, 1e-9) << c.mode;
    }
    EXPECT_NEAR(s.getTransform(ScanData::Bin, ScanData::RfMon, cal)->apply(75), 17.5, 1e-9);
    EXPECT_NEAR(s.getTransform(ScanData::RfMon, ScanData::RfDac, cal)->apply(15.0), 150.0, 1e-9);
    // The transform is built once per segment count.
    const auto first = s.createRfTransform(ScanData::RfMon);
    EXPECT_EQ(s.createRfTransform(ScanData::RfMon), first);
    s.addSciDataPkt(segment(200, 10, 50.0), 2);
    EXPECT_NE(s.createRfTransform(ScanData::RfMon), first);
}

// On-times through SEB sequences (DAC switched on and off around pauses) are held by the Python
// scan tests against the sample generator's own model of them.
TEST(ScanData, EmOnTimesFromTheLastStatus) {
    ScanData s;
    s.numSummedScans = 2;
    s.addSciDataPkt(segment(0, 100, 0), 0);
    double a = -1, b = -1;
    s.calculateEmOnTimes(a, b);
    EXPECT_EQ(a, 0.0);  // no status
    ScanStatus st;
    st.timing[245 - 237] = 50.0;  // bin time, us
    st.dacSettings[0] = -2000.0;  // EM1 on
    st.dacSettings[1] = -1900.0;  // EM2 exactly at the threshold: off
    s.scanStatuses.append(st);
    s.calculateEmOnTimes(a, b);
    EXPECT_DOUBLE_EQ(a, 2 * (50e-6 * 100 * 1000 + 10.0));
    EXPECT_EQ(b, 0.0);
}

namespace {

// The culling rules written out on a plain vector, scanning for the least error each time.
struct Model {
    std::vector<TarGse::PointWithError> p;
    double m = 0;

    double err(size_t i) const {
        if (i == 0 || i + 1 == p.size())
            return std::numeric_limits<double>::max();
        const auto &a = p[i - 1], &q = p[i], &b = p[i + 1];
        if (a.y == q.y && q.y == b.y)
            return 0;
        const double d = std::abs(b.x * a.y + q.x * (b.y - a.y) - (b.x - a.x) * q.y - a.x * b.y) /
                         std::hypot(b.x - a.x, b.y - a.y);
        if (a.y > q.y && b.y > q.y)
            return 1.1 * d + 0.1 * 1.1 * d * (m - q.y) * (m - q.y) / (m * m);
        const double e = (a.y < q.y && b.y < q.y) ? 1.5 * d : d;
        return e + 0.3 * e * q.y * q.y / (m * m);
    }
    void erase(size_t i, bool recompute) {
        p.erase(p.begin() + long(i));
        if (recompute) {
            p[i - 1].error = err(i - 1);
            p[i].error = err(i);
        }
    }
    void zeroPass(bool recompute) {
        for (size_t i = 0; i < p.size(); ++i) {
            if (p[i].error == 0 && i > 0 && i + 1 < p.size())
                erase(i, recompute);  // the successor moves to i and is passed over
        }
    }
    QList<QPointF> run(const QList<QPointF>& in, int target, double maxError, bool flat) {
        for (const QPointF& q : in) {
            p.push_back({q.x(), q.y(), 0});
            m = std::max(m, q.y());
        }
        for (size_t i = 0; i < p.size(); ++i)
            p[i].error = err(i);
        zeroPass(true);
        while (int(p.size()) > target) {
            size_t best = 0;
            for (size_t i = 1; i < p.size(); ++i)
                if (p[i].error < p[best].error)
                    best = i;
            if ((maxError != 0 && p[best].error > maxError) || best == 0 || best + 1 == p.size())
                break;
            erase(best, true);
        }
        if (flat)
            zeroPass(false);
        QList<QPointF> out;
        for (const auto& q : p)
            out.append(QPointF(q.x, q.y));
        return out;
    }
};

}  // namespace

TEST(Cull, MatchesTheRulesOnRandomSpectra) {
    std::mt19937 rng(814);
    for (int trial = 0; trial < 300; ++trial) {
        const int n = 2 + int(rng() % 60);
        QList<QPointF> in;
        for (int i = 0; i < n; ++i)
            in.append(QPointF(i, double(rng() % 6)));  // few levels: many ties and flats
        const int target = 1 + int(rng() % 30);
        const double maxError = trial % 3 == 0 ? 0.0 : 0.5 + (rng() % 4);
        const bool flat = trial % 2;
        QList<QPointF> out;
        TarGse::cull(in, out, target, maxError, flat);
        EXPECT_EQ(out, Model().run(in, target, maxError, flat)) << "trial " << trial;
        ASSERT_FALSE(out.isEmpty());
        EXPECT_EQ(out.front(), in.front());
        EXPECT_EQ(out.back(), in.back());
    }
}

TEST(Cull, NamedProperties) {
    // The middle of three collinear points lies on its neighbours' line: error 0, removed.
    TarGse::PointWithErrorList l = {{0, 0, 0}, {1, 2, 0}, {2, 4, 0}};
    EXPECT_EQ(TarGse::getError(std::next(l.begin()), l, 4), 0.0);
    EXPECT_EQ(TarGse::getError(l.begin(), l, 4), std::numeric_limits<double>::max());
    QList<QPointF> out;
    TarGse::cull({{0, 0}, {1, 2}, {2, 4}}, out, 500, 0.0, false);
    EXPECT_EQ(out, (QList<QPointF>{{0, 0}, {2, 4}}));
    // The first and the last point are never removed.
    EXPECT_EQ(TarGse::removePoint(l.begin(), l, 4, true), l.begin());
    EXPECT_EQ(l.size(), 3u);
    // A peak: e = 1.5 d, then + 0.3 e (y / M)^2; d = 2 for (0,0) (1,2) (2,0).
    TarGse::PointWithErrorList peak = {{0, 0, 0}, {1, 2, 0}, {2, 0, 0}};
    EXPECT_DOUBLE_EQ(TarGse::getError(std::next(peak.begin()), peak, 4), 3.0 + 0.3 * 3.0 / 4);
    // Up to 500 points only zero-error points go: a zigzag of growing amplitude has none.
    QList<QPointF> zigzag;
    for (int i = 0; i < 500; ++i)
        zigzag.append(QPointF(i, i % 2 ? 1000 + i : i));
    TarGse::cull(zigzag, out, 500, 0.0, true);
    EXPECT_EQ(out, zigzag);
    // ... and a flat run inside it loses its inner points.
    zigzag[10].setY(5);
    zigzag[11].setY(5);
    zigzag[12].setY(5);
    TarGse::cull(zigzag, out, 500, 0.0, true);
    EXPECT_EQ(out.size(), 499);
    EXPECT_FALSE(out.contains(QPointF(11, 5)));
}
