// Builds every scan of a generated TARN file whose science packets dominate, against the plain
// read + timestamp of the same file in the same run (the TARN reader with its catalogue check
// and resolver). Prints packets/s through refresh, the ratio to the read, the time per scan of
// the TIC, corrected TIC and max-ion traces for short and long scans (it must not grow with
// the bins), and the memory the scans hold per scan and per segment.
//
//   scan_bench [--packets N] [--repeat R]     (default 1,000,000 packets, 3 repeats)

#include <gselib/config814.h>
#include <gselib/datainterpretation.h>
#include <gselib/telemetryfile.h>
#include <gselib/tmdatabase.h>
#include <gselib/tomchecksum.h>
#include <plugins/plugins.h>
#include <tarnlib/sciencedatacache.h>
#include <tarnlib/tartelemetrycache.h>
#include <tools/logger/eventlogger.h>
#include <tools/util/pluginmanager.h>

#include "benchutil.h"
#include "benchworkstation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

K814_IMPORT_BUILTIN_PLUGINS()

namespace {

using Bytes = std::vector<uint8_t>;

struct Stream {
    QByteArray bytes;
    uint32_t ticks = 0;
    size_t packets = 0;
    size_t segments = 0;
    size_t scans = 0;

    void add(int type, const Bytes& data, uint32_t dt = 5) {
        ticks += dt;
        Bytes p = {uint8_t(type),        uint8_t(packets),     uint8_t(data.size() >> 8),
                   uint8_t(data.size()), uint8_t(ticks >> 24), uint8_t(ticks >> 16),
                   uint8_t(ticks >> 8),  uint8_t(ticks)};
        p.insert(p.end(), data.begin(), data.end());
        const uint32_t sum = GseLib::tom_checksum(p.data(), p.size());
        for (int s = 24; s >= 0; s -= 8)
            p.push_back(uint8_t(sum >> s));
        bytes.append(reinterpret_cast<const char*>(p.data()), qsizetype(p.size()));
        ++packets;
    }
    // One scan of single science packets of 100 bins; the last one closes the scan.
    void singleScan(int bins) {
        add(25, Bytes(84, 1));
        for (int b = 0; b < bins; b += 100) {
            Bytes d(15 + 100, 0);
            d[3] = b + 100 >= bins ? 134 : 0;
            d[5] = 109;
            d[6] = uint8_t((b + 1) >> 8);
            d[7] = uint8_t(b + 1);
            d[8] = uint8_t(b >> 4);
            for (int j = 0; j < 100; ++j)
                d[size_t(15 + j)] = uint8_t((b + j) * 7);
            add(26, d);
            ++segments;
        }
        ++scans;
    }
    // One summed scan of 20 segments (2000 bins of 16-bit counts, version 2, one scan).
    void summedScan() {
        add(25, Bytes(84, 1));
        Bytes d = {0, 0x81, 0, 20};
        for (int i = 0; i < 20; ++i)
            d.insert(d.end(),
                     {uint8_t((100 * i + 1) >> 8), uint8_t(100 * i + 1), 0, 50, 0, 60, 0, 70});
        d.insert(d.end(), {0, 1, 0, 0, 0, 7, 0x3F, 0xC0, 0, 0, 0xEE, 0xEE});
        d.resize(d.size() + 4000, 3);
        add(27, d);
        segments += 20;
        ++scans;
    }
};

// A TARN file: SEB housekeeping now and then, a status per scan, scans of the given length
// (every tenth a summed one), until at least minPackets packets.
Stream makeStream(size_t minPackets, int bins) {
    Stream s;
    while (s.packets < minPackets) {
        if (s.scans % 50 == 0)
            s.add(22, Bytes(20, 0));
        if (s.scans % 10 == 9)
            s.summedScan();
        else
            s.singleScan(bins);
    }
    return s;
}

struct Result {
    double read = 0, refresh = 0;
    size_t packets = 0, scans = 0, segments = 0;
    double traceNsPerScan = 0;
    double rssRead = 0, rssScans = 0;
    double accounted = 0;  // bytes the scans' records and vectors hold
};

double seconds(bench::Clock::time_point since) {
    return std::chrono::duration<double>(bench::Clock::now() - since).count();
}

Result run(const QString& path, int repeat) {
    Result r;
    r.read = bench::median(repeat, [&] {
        auto* cache = new TarGse::TarTelemetryCache;
        GseLib::TelemetryFile::setSharedCache(cache);
        GseLib::TelemetryFile::setSharedCacheFile(path.toStdString());
        r.packets = cache->size();
    });
    r.rssRead = bench::peakRssMb();
    std::unique_ptr<TarGse::ScienceDataCache> kept;
    // Timed by hand: freeing the previous run's scans is no part of building the next.
    std::vector<double> times;
    for (int k = 0; k < repeat; ++k) {
        kept.reset();
        const auto start = bench::Clock::now();
        kept = std::make_unique<TarGse::ScienceDataCache>();
        kept->refresh();
        times.push_back(seconds(start));
    }
    std::sort(times.begin(), times.end());
    r.refresh = times[times.size() / 2];
    r.scans = size_t(kept->size());
    r.rssScans = bench::peakRssMb();
    for (const auto& s : kept->scans()) {
        r.segments += s->sciDataPackets.size();
        r.accounted += double(sizeof(TarGse::ScanData) +
                              s->sciDataPackets.capacity() * sizeof(TarGse::SciDataPacket) +
                              size_t(s->scanStatuses.capacity()) * sizeof(TarGse::ScanStatus) +
                              size_t(s->packetIndexes().capacity()) * sizeof(int));
    }
    // The traces every plot asks for, over the same number of scans in both files; none may
    // walk the bins, so the time per scan must not grow with them.
    const int traced = std::min(kept->size(), 5000);
    const int from = kept->size() - traced;
    const auto start = bench::Clock::now();
    double sink = 0;
    for (int k = 0; k < 20; ++k) {
        for (const QPointF& p : kept->correctedTicTrace(from, 100.0, 100.0, -68.0, -0.0992))
            sink += p.y();
        for (const QPointF& p : kept->maxIonCountTrace(from))
            sink += p.y();
        for (int i = from; i < kept->size(); ++i)
            sink += kept->scan(i)->ionCount(0, 0) + kept->ticTrace()[i].y();
    }
    r.traceNsPerScan = seconds(start) * 1e9 / 20 / double(traced);
    if (sink == -1)
        std::printf("%f\n", sink);
    kept.reset();
    GseLib::TelemetryFile::setSharedCache(nullptr);
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    EventLogger logger(LoggerConfig::noLogging());
    const size_t packets = size_t(bench::intOption(argc, argv, "--packets", 1000000));
    const int repeat = bench::intOption(argc, argv, "--repeat", 3);

    // A one-group workstation: the items scan assembly converts and the catalogue of the
    // packet types in the file.
    QTemporaryDir dir;
    const QStringList header = GseLib::TelemetryDatabase::TMDB_HDR;
    auto row = [&](int id, int type, int offset, const char* k2) {
        const QStringList cells = {"SUB_SYSTEM",   "SCAN",
                                   "NAME",         QStringLiteral("I%1").arg(id),
                                   "DESCRIPTION",  "x",
                                   "DATA_ID",      QString::number(id),
                                   "PACKET_TYPE",  QString::number(type),
                                   "DECODE_TYPE",  "1",
                                   "DECODE_ID1",   QString::number(offset),
                                   "DECODE_ID2",   "2",
                                   "DECODE_ID3",   "0xFFFF",
                                   "DECODE_ID4",   "0",
                                   "RAW_FMT",      "%1.0f",
                                   "ENG_FMT",      "%.3f",
                                   "ENG_EQ_TYPE",  "1",
                                   "ENG_K1",       "0",
                                   "ENG_K2",       "1",
                                   "SCI_UNITS",    "V",
                                   "SCI_FMT",      "%.3f",
                                   "SCI_EQ_TYPE",  "1",
                                   "SCI_FROM_ENG", "0",
                                   "SCI_K1",       "0",
                                   "SCI_K2",       k2};
        QStringList c(header.size());
        for (int i = 0; i + 1 < cells.size(); i += 2)
            c[header.indexOf(cells[i])] = cells[i + 1];
        return c.join('\t') + "\n";
    };
    QString db = header.join('\t') + "\t$Revision: 1 $\n";
    db += row(351, 26, 16, "0.01") + row(352, 26, 18, "0.5") + row(353, 26, 20, "0.25");
    db += row(245, 25, 80, "0.1") + row(239, 25, 82, "1") + row(251, 25, 84, "1");
    db += row(105, 22, 10, "1") + row(102, 22, 12, "1") + row(17, 22, 14, "0.5");
    db += row(86, 22, 16, "1");
    PluginManager manager;
    bench::installWorkstation(dir, db.toUtf8(),
                              "22, SEB_HK, false, 0, 65535\n25, SCAN_STATUS, false, 0, 65535\n"
                              "26, SCI_SINGLE, false, 0, 65535\n27, SCI_SUMMED, false, 0, 65535\n",
                              manager);

    std::printf("scan_bench: %zu packets per file, median of %d\n", packets, repeat);
    std::printf("%-22s %9s %9s %8s %9s %12s %8s %11s %9s %9s %9s\n", "file", "packets", "scans",
                "read s", "refresh s", "packets/s", "ratio", "trace ns/sc", "KB/scan", "B/segment",
                "RSS B/seg");
    int failures = 0;
    for (int bins : {1000, 20000}) {
        const Stream s = makeStream(packets, bins);
        const QString path = dir.filePath(QStringLiteral("tarn_%1.tlm").arg(bins));
        bench::writeFile(path, s.bytes);
        const Result r = run(path, repeat);
        const double rate = double(r.packets) / r.refresh;
        const double heldMb = std::max(0.0, r.rssScans - r.rssRead);
        std::printf("%-22s %9zu %9zu %8.3f %9.3f %12.0f %8.2f %11.1f %9.1f %9.1f %9.1f\n",
                    qPrintable(QStringLiteral("%1-bin scans").arg(bins)), r.packets, r.scans,
                    r.read, r.refresh, rate, r.refresh / r.read, r.traceNsPerScan,
                    r.accounted / 1024.0 / double(r.scans), r.accounted / double(r.segments),
                    heldMb * 1048576.0 / double(r.segments));
        if (r.scans != s.scans)
            ++failures;
    }
    std::printf("segment record: %zu bytes (100 counts as doubles, sum, maximum, RF values)\n",
                sizeof(TarGse::SciDataPacket));
    GseLib::DataInterpretation::reset();
    return failures;
}
