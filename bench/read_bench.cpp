// Reads and timestamps telemetry files and compares with the floor: a plain sequential read of
// the same file in 1 MiB blocks, in the same run. Prints packets/s, MB/s, the ratio and peak
// memory; checks that the TARN resolver's vector was never reallocated.
//
//   read_bench --tarn FILE --ini INI [--progress R]
//                                            (a TARN test of the sample archive, any size; with
//                                            --progress, R reads without and R with a progress
//                                            report, best of each)
//   read_bench --ccsds FILE [--copies N]     (CCSDS packets; the file is repeated N times)

#include <gselib/config814.h>
#include <gselib/datainterpretation.h>
#include <gselib/secondstimeresolvers.h>
#include <gselib/telemetryfile.h>
#include <gselib/tmmeta.h>
#include <plugins/plugins.h>
#include <tarnlib/tardatainterpretation.h>
#include <tarnlib/tarntimeresolver.h>
#include <tarnlib/tartelemetrycache.h>
#include <tools/logger/eventlogger.h>
#include <tools/util/pluginmanager.h>

#include "benchutil.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

K814_IMPORT_BUILTIN_PLUGINS()

namespace {

using bench::Clock;

double seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// The floor: every byte of the file through the same standard-I/O library, nothing else.
double plainRead(const std::string& path, unsigned long long& checksum) {
    const auto start = Clock::now();
    FILE* f = std::fopen(path.c_str(), "rb");
    std::vector<unsigned char> block(1 << 20);
    size_t n;
    while ((n = std::fread(block.data(), 1, block.size(), f)) > 0) {
        for (size_t i = 0; i < n; i += 64)
            checksum += block[i];
    }
    std::fclose(f);
    return seconds(start);
}

void report(const char* what, const std::string& path, double read, double floor, size_t packets) {
    const double mb = static_cast<double>(QFileInfo(QString::fromStdString(path)).size()) / 1e6;
    std::printf("%s: %zu packets, %.1f MB\n", what, packets, mb);
    std::printf("  floor (sequential read):   %7.3f s  %8.1f MB/s\n", floor, mb / floor);
    std::printf("  read + timestamp:          %7.3f s  %8.1f MB/s  %10.0f packets/s\n", read,
                mb / read, packets / read);
    std::printf("  ratio read / floor:        %7.2f\n", read / floor);
    std::printf("  peak RSS:                  %7.1f MB\n", bench::peakRssMb());
}

// Reads the file runs times without and runs times with a progress report installed
// (alternating, so that both see the same machine), and prints the best of each.
void compareProgress(const std::string& path, int runs) {
    double without = 1e9;
    double with = 1e9;
    long long reports = 0;
    for (int run = 0; run < 2 * runs; ++run) {
        const bool reporting = run % 2 == 1;
        GseLib::TelemetryCache::Progress previous;
        if (reporting) {
            previous = GseLib::TelemetryCache::setProgress(
                [&reports](long long, long long, long long) { ++reports; });
        }
        GseLib::TelemetryFile::setSharedCache(new TarGse::TarTelemetryCache);
        const auto start = Clock::now();
        GseLib::TelemetryFile::setSharedCacheFile(path);
        const double took = seconds(start);
        GseLib::TelemetryFile::setSharedCache(nullptr);
        if (reporting) {
            GseLib::TelemetryCache::setProgress(previous);
            with = std::min(with, took);
        } else {
            without = std::min(without, took);
        }
    }
    std::printf("  progress report (best of %d each, alternating):\n", runs);
    std::printf("    without:                 %7.3f s\n", without);
    std::printf("    with (%4.1f reports/read): %7.3f s  ratio %.3f\n",
                static_cast<double>(reports) / runs, with, with / without);
}

int tarn(const std::string& path, const QString& ini, int progressRuns) {
    qputenv("INI814", ini.toUtf8());
    const GseLib::TmMeta meta(QFileInfo(QString::fromStdString(path)).absolutePath());
    GseLib::Config814::setDefaultGroup(meta.config814Group());
    PluginManager manager;
    manager.loadPlugins(QList<QString>{});
    TarGse::TarDataInterpretationFactory factory;
    GseLib::DataInterpretation::init(&factory, true, &manager, meta.patchFiles());
    GseLib::DataInterpretation::current()->updatePktOffsets(
        TarGse::TarDataInterpretation::PKT_OFFSET_DELTA);

    unsigned long long sink = 0;
    const double floor = plainRead(path, sink);
    auto* cache = new TarGse::TarTelemetryCache;
    GseLib::TelemetryFile::setSharedCache(cache);
    auto* resolver = static_cast<TarGse::TarnTimeResolver*>(cache->timeResolver());
    const size_t reserved = resolver->reservedEntries();
    const auto start = Clock::now();
    GseLib::TelemetryFile::setSharedCacheFile(path);
    const double read = seconds(start);
    report("TARN (TOM)", path, read, floor, cache->size());
    std::printf("  resolver vector: %zu entries, capacity %zu (reserved %zu): %s\n",
                resolver->entryCount(), resolver->reservedEntries(), reserved,
                resolver->reservedEntries() == reserved ? "not reallocated" : "REALLOCATED");
    // The times of every packet, folded into one number, so that two builds of the reader can
    // be compared on the same file.
    uint64_t digest = 1469598103934665603ull;
    auto fold = [&digest](const void* bytes, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            digest = (digest ^ static_cast<const unsigned char*>(bytes)[i]) * 1099511628211ull;
        }
    };
    for (const GseLib::TMPacketPtr& p : cache->packets()) {
        const double times[2] = {p->unixTime(), p->relativeTime()};
        fold(times, sizeof times);
        fold(p->data(), static_cast<size_t>(p->totalLength()));
    }
    std::printf("  packet times and bytes digest: %016llx, position %ld\n",
                static_cast<unsigned long long>(digest), cache->position());
    std::printf("  synchronised: %s, corrections: %u, last packet at %+.3f s\n",
                resolver->isSynced() ? "yes" : "no", resolver->correctedCount(),
                cache->size() ? cache->get(unsigned(cache->size() - 1))->relativeTime() : 0.0);
    GseLib::TelemetryFile::setSharedCache(nullptr);
    if (progressRuns > 0) {
        compareProgress(path, progressRuns);
    }
    GseLib::DataInterpretation::reset();
    return sink == 0xFFFFFFFFFFFFFFFFull;  // keeps the floor's loop alive
}

int ccsds(const std::string& source, int copies) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("large.tlm").toStdString();
    QFile in(QString::fromStdString(source));
    in.open(QIODevice::ReadOnly);
    const QByteArray bytes = in.readAll();
    QFile out(QString::fromStdString(path));
    out.open(QIODevice::WriteOnly);
    for (int i = 0; i < copies; ++i)
        out.write(bytes);
    out.close();

    unsigned long long sink = 0;
    const double floor = plainRead(path, sink);
    GseLib::TelemetryCache cache(new GseLib::GpsTimeResolver(978307200));
    cache.setPacketFormat(GseLib::TelemetryCache::Ccsds);
    const auto start = Clock::now();
    cache.changeFile(path, true);
    const double read = seconds(start);
    report("CCSDS", path, read, floor, cache.size());
    return sink == 0xFFFFFFFFFFFFFFFFull;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    EventLogger logger(LoggerConfig::noLogging());
    std::string tarnFile, ccsdsFile;
    QString ini;
    int copies = 1;
    int progressRuns = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--progress"))
            progressRuns = std::max(0, std::atoi(argv[i + 1]));
        if (!std::strcmp(argv[i], "--tarn"))
            tarnFile = argv[i + 1];
        if (!std::strcmp(argv[i], "--ini"))
            ini = QString::fromLocal8Bit(argv[i + 1]);
        if (!std::strcmp(argv[i], "--ccsds"))
            ccsdsFile = argv[i + 1];
        if (!std::strcmp(argv[i], "--copies"))
            copies = std::max(1, std::atoi(argv[i + 1]));
    }
    int rc = 0;
    if (!tarnFile.empty())
        rc |= tarn(tarnFile, ini, progressRuns);
    if (!ccsdsFile.empty())
        rc |= ccsds(ccsdsFile, copies);
    if (tarnFile.empty() && ccsdsFile.empty()) {
        std::fprintf(stderr,
                     "usage: read_bench --tarn FILE --ini INI [--progress R] | --ccsds FILE "
                     "[--copies N]\n");
        return 2;
    }
    return rc;
}
