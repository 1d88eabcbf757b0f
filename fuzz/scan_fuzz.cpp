// Fuzz target for scan assembly and the science data cache. The input is a list of packets,
// each a type selector byte, a declared data length (11 bits), a content length byte and that
// many data bytes; the declared length need not match the bytes that follow, as in a damaged
// file. The packets go through the science data cache (every scan kind enabled), every
// summed or aggregated packet also straight into a scan, and every scan answers every query.
// Nothing may crash or read outside a packet, and every segment must keep its bounds.

#include <gselib/secondstimeresolvers.h>
#include <gselib/telemetryfile.h>
#include <gselib/tompacket.h>
#include <tarnlib/masscal.h>
#include <tarnlib/sciencedatacache.h>

#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

// Types the cache dispatches on, and one it does not know.
constexpr int TYPES[] = {14, 15, 16, 22, 23, 25, 26, 27, 28, 5};

void checkScan(const TarGse::ScanData& s, const TarGse::MassCal& cal, int lo, int hi) {
    unsigned bins = 0;
    for (const TarGse::SciDataPacket& p : s.sciDataPackets) {
        if (p.numBins > TarGse::SciDataPacket::MAX_BINS ||
            p.endBin != uint16_t(p.startBin + p.numBins)) {
            std::abort();
        }
        double sum = 0.0;
        for (int j = 0; j < p.numBins; ++j) {
            sum += p.counts[size_t(j)];
        }
        if (sum != p.countSum) {
            std::abort();
        }
        bins += p.numBins;
    }
    if (s.nBins() != uint16_t(bins) || s.scanStatuses.size() > std::max<int>(s.numSummedScans, 1)) {
        std::abort();
    }
    double sum = 0.0, max = 0.0;
    s.selectedIonCountSumAndMax(sum, max, lo, hi);
    (void)s.ionCount(hi, lo);
    (void)s.totalScanTimeSecs();
    (void)s.countsPerSecond();
    (void)(s.rfAmpStart() + s.rfAmpDACStart() + s.auxAmpDACStart());
    (void)(s.rfAmpEnd() + s.rfAmpDACEnd() + s.auxAmpDACEnd());
    (void)(s.relativeTimestamp() + s.unixTimestamp() + s.maxIonCount());
    (void)s.highestCountBin();
    (void)s.ticList();
    (void)s.cTicList();
    (void)s.correctedTotalIonCount(100.0, 100.0, -68.0, -0.0992);
    (void)s.correctedTotalIonCountFactor(100.0, 100.0, -68.0, -0.0992);
    (void)s.binVsCorrectedCounts(100.0, 100.0, -68.0, -0.0992);
    // Culling a spectrum of hundreds of thousands of bins takes a second; the property is the
    // same on small ones, and the fuzzer's time is better spent elsewhere.
    const QList<QPointF> all = s.binVsCounts();
    if (all.size() <= 4000) {
        const QList<QPointF> culled = s.culledBinVsCounts();
        if (culled.size() > all.size() ||
            (!all.isEmpty() && (culled.front() != all.front() || culled.back() != all.back()))) {
            std::abort();
        }
    }
    using V = TarGse::ScanData::ValueType;
    for (V from : {V::Bin, V::RfMon, V::RfDac, V::Mass}) {
        for (V to : {V::Bin, V::RfMon, V::RfDac, V::Mass}) {
            const auto t = s.getTransform(from, to, cal);
            (void)t->apply(double(lo));
            (void)t->inverse(double(hi));
        }
    }
    (void)s.packetIndexes();
    (void)s.scanStatusPacketIndexes();
    (void)s.sebSequencePacketIndexes();
    (void)(s.determineScanMode() + s.isDarkCountScan() + s.ionSource());
    double a = 0.0, b = 0.0;
    s.calculateEmOnTimes(a, b);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static GseLib::UnixTimeResolver resolver;
    auto* cache = new GseLib::TelemetryCache(new GseLib::UnixTimeResolver);
    GseLib::TelemetryFile::setSharedCache(cache);
    std::vector<GseLib::TMPacketPtr> science;
    size_t pos = 0;
    uint32_t ticks = 0;
    int index = 0;
    while (pos + 4 <= size) {
        const int type = TYPES[data[pos] % (sizeof TYPES / sizeof TYPES[0])];
        // Declared lengths up to 2047 (255 segments of a summed packet) keep a run fast enough
        // to explore; beyond that only the size of the same loops grows.
        const uint16_t declared = uint16_t(((data[pos + 1] & 0x07) << 8) | data[pos + 2]);
        const size_t n = std::min<size_t>(data[pos + 3], size - pos - 4);
        ticks += data[pos] * 97u;
        GseLib::ByteVector b = {uint8_t(type),          0,
                                uint8_t(declared >> 8), uint8_t(declared),
                                uint8_t(ticks >> 24),   uint8_t(ticks >> 16),
                                uint8_t(ticks >> 8),    uint8_t(ticks)};
        b.insert(b.end(), data + pos + 4, data + pos + 4 + n);
        pos += 4 + n;
        auto p = std::make_shared<GseLib::TomPacket>(b.data(), int(b.size()), index++, &resolver);
        cache->appendPacket(p);
        if (type == 27 || type == 28) {
            science.push_back(p);
        }
    }

    TarGse::MassCal cal;
    cal.setControlMode(TarGse::MassCal::ControlMode(size % 3));
    cal.addMassCalEntry(TarGse::MassCal::DEFAULT_PHASE_CYCLE);
    cal.addDataPoint(TarGse::MassCal::DEFAULT_PHASE_CYCLE, 1.0, 2.0);
    cal.addDataPoint(TarGse::MassCal::DEFAULT_PHASE_CYCLE, 300.0, 150.0);
    const int lo = size ? int(int8_t(data[0])) * 3 : 0;
    const int hi = size > 1 ? int(data[1]) * 5 : 0;

    for (const auto& p : science) {
        const TarGse::ScanData s(p, {TarGse::ScanStatus(), TarGse::ScanStatus()}, size % 2,
                                 TARN::SummedScanTimestampMode(size % 3));
        checkScan(s, cal, lo, hi);
    }
    {
        TarGse::ScienceDataCache sdc;
        sdc.setAverageSummedScans(size % 2);
        sdc.setSummedScanTimestampMode(TARN::SummedScanTimestampMode(size % 3));
        sdc.refresh();
        for (const auto& s : sdc.scans()) {
            checkScan(*s, cal, lo, hi);
        }
        checkScan(sdc.currentScan(), cal, lo, hi);
        (void)sdc.scanIndexRange(lo, hi);
        (void)sdc.correctedTicTrace(0, 100.0, 100.0, -68.0, -0.0992);
        (void)sdc.maxIonCountTrace(lo);
        for (auto type : {TarGse::ScanData::Bin, TarGse::ScanData::Mass}) {
            (void)sdc.sicTrace({type, double(lo), double(hi)}, cal, size % 2, 0, 100.0, 100.0,
                               -68.0, -0.0992);
        }
        (void)(sdc.hasScansFromGcSource() + sdc.hasScansFromLdiSource());
    }
    GseLib::TelemetryFile::setSharedCache(nullptr);
    return 0;
}
