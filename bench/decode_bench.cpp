// Decodes one array item (8 elements) and one scalar item from every packet of a generated
// telemetry file through the interpretation engine, and compares with the floor: a plain loop
// reading the same bytes with no engine. Prints values per second, the ratio and peak memory.
//
//   decode_bench [--packets N] [--repeat R]

#include <gselib/config814.h>
#include <gselib/datainterpretation.h>
#include <gselib/timeresolver.h>
#include <gselib/tomchecksum.h>
#include <gselib/tompacket.h>
#include <plugins/plugins.h>
#include <tools/logger/eventlogger.h>
#include <tools/util/pluginmanager.h>

#include "benchutil.h"
#include "benchworkstation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

K814_IMPORT_BUILTIN_PLUGINS()

namespace {

using bench::Clock;
using bench::median;
using GseLib::ByteVector;

class TickResolver : public GseLib::TimeResolver {
public:
    void reset() override {}
    double ticksToSeconds(long long t) const override { return t / 1e4; }
    long long secondsToTicks(double s) const override { return static_cast<long long>(s * 1e4); }
    double unixTime(const GseLib::TMPacket* p) const override {
        return 1.3e9 + p->rawTimestamp() / 1e4;
    }
    double unixTime(const GseLib::TMPacket*, long long t) const override { return 1.3e9 + t / 1e4; }
    double relativeTime(const GseLib::TMPacket* p) const override {
        return p->rawTimestamp() / 1e4;
    }
    double relativeTime(const GseLib::TMPacket*, long long t) const override { return t / 1e4; }
    uint32_t correctedCount() const override { return 0; }
    bool isSynced() const override { return true; }
    bool handlePacket(const std::shared_ptr<GseLib::TMPacket>&) override { return true; }
    std::shared_ptr<GseLib::TMPacket> t0Packet() const override { return nullptr; }
};

// Housekeeping packets of type 22: 8 16-bit samples at byte 9, a 16-bit reading at byte 48.
QByteArray telemetry(int count) {
    QByteArray file;
    file.reserve(count * 76);
    ByteVector p(76, 0);
    for (int i = 0; i < count; ++i) {
        p[0] = 22;
        p[1] = uint8_t(i);
        p[2] = 0;
        p[3] = 64;
        const uint32_t ticks = uint32_t(i) * 1000u;
        for (int b = 0; b < 4; ++b)
            p[4 + b] = uint8_t(ticks >> (24 - 8 * b));
        for (int k = 0; k < 8; ++k) {
            const uint32_t v = uint32_t(30000 + (i * 7 + k * 13) % 5000);
            p[9 + 2 * k] = uint8_t(v >> 8);
            p[10 + 2 * k] = uint8_t(v);
        }
        p[48] = uint8_t(i >> 8);
        p[49] = uint8_t(i);
        const uint32_t sum = GseLib::tom_checksum(p.data(), 72);
        for (int b = 0; b < 4; ++b)
            p[72 + b] = uint8_t(sum >> (24 - 8 * b));
        file.append(reinterpret_cast<const char*>(p.data()), 76);
    }
    return file;
}

}  // namespace

int main(int argc, char** argv) {
    const int count = bench::intOption(argc, argv, "--packets", 1000000);
    const int repeat = std::max(1, bench::intOption(argc, argv, "--repeat", 3));
    QCoreApplication app(argc, argv);
    EventLogger logger(LoggerConfig::noLogging());

    // A one-group workstation whose database holds the two items.
    QTemporaryDir dir;
    QStringList header = GseLib::TelemetryDatabase::TMDB_HDR;
    header << "ARRAY_LENGTH"
           << "SAMPLE_PERIOD";
    auto row = [&](const QStringList& cells) {
        QStringList c(header.size());
        for (int i = 0; i + 1 < cells.size(); i += 2)
            c[header.indexOf(cells[i])] = cells[i + 1];
        return c.join('\t');
    };
    const QStringList common = {
        "DESCRIPTION", "x",    "PACKET_TYPE", "22", "DECODE_TYPE",  "1",     "DECODE_ID2", "2",
        "DECODE_ID3",  "0",    "DECODE_ID4",  "0",  "RAW_FMT",      "%1.0f", "ENG_FMT",    "%.3f",
        "ENG_EQ_TYPE", "2",    "ENG_K1",      "10", "ENG_K2",       "1",     "SCI_UNITS",  "V",
        "SCI_FMT",     "%.3f", "SCI_EQ_TYPE", "1",  "SCI_FROM_ENG", "Yes",   "SCI_K2",     "20"};
    const QString db =
        header.join('\t') + "\t$Revision: 1 $\n" +
        row(QStringList{"SUB_SYSTEM", "SEB", "NAME", "EMON_A", "DATA_ID", "17", "DECODE_ID1", "9",
                        "ARRAY_LENGTH", "8", "SAMPLE_PERIOD", "0.125"} +
            common) +
        "\n" +
        row(QStringList{"SUB_SYSTEM", "SEB", "NAME", "HV_MON", "DATA_ID", "21", "DECODE_ID1",
                        "48"} +
            common) +
        "\n";
    PluginManager manager;
    bench::installWorkstation(dir, db.toUtf8(), "22, SEB_HK, false, 64, 64\n", manager);
    const GseLib::DataInterpretation& di = *GseLib::DataInterpretation::current();

    // The file, split into packets that share one read buffer each, as the reader makes them.
    const QString path = dir.filePath("bench.tlm");
    bench::writeFile(path, telemetry(count));
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    const QByteArray bytes = f.readAll();
    TickResolver resolver;
    std::vector<GseLib::TMPacketPtr> packets;
    packets.reserve(static_cast<size_t>(count));
    for (qsizetype pos = 0; pos + 76 <= bytes.size(); pos += 76) {
        packets.push_back(std::make_shared<GseLib::TomPacket>(
            reinterpret_cast<const uint8_t*>(bytes.constData() + pos), 76,
            static_cast<int>(packets.size()), &resolver));
    }

    // Floor: the same 9 values read straight from the bytes and converted the same way.
    double floorSum = 0;
    const double floor = median(repeat, [&] {
        double sum = 0;
        for (const auto& p : packets) {
            const uint8_t* b = p->bytes()->data();
            for (int k = 0; k < 8; ++k) {
                sum += 20.0 * (-5.0 + ((b[9 + 2 * k] << 8) | b[10 + 2 * k]) * 10.0 / 65536.0);
            }
            sum += 20.0 * (-5.0 + ((b[48] << 8) | b[49]) * 10.0 / 65536.0);
        }
        floorSum = sum;
    });

    double engineSum = 0;
    GseLib::DataItems items;
    const double engine = median(repeat, [&] {
        double sum = 0;
        bool ok = false;
        for (const auto& p : packets) {
            items.clear();
            di.getData(17, p.get(), items, Gse::ValueMode::Sci, true, nullptr);
            for (const auto& item : items)
                sum += std::get<double>(item.value);
            sum += di.getValue(21, p.get(), Gse::ValueMode::Sci, &ok);
        }
        engineSum = sum;
    });

    const double values = 9.0 * static_cast<double>(packets.size());
    std::printf("packets %zu, 9 values each (8-element array + scalar), %d runs (medians)\n",
                packets.size(), repeat);
    std::printf("floor  (bytes read directly): %8.3f s  %12.0f values/s\n", floor, values / floor);
    std::printf("engine (getData + getValue):  %8.3f s  %12.0f values/s\n", engine,
                values / engine);
    std::printf("ratio  engine / floor:        %8.2f\n", engine / floor);
    std::printf("results agree: %s\n",
                std::fabs(engineSum - floorSum) <= 1e-6 * std::fabs(floorSum) ? "yes" : "NO");
    std::printf("peak RSS: %.1f MB\n", bench::peakRssMb());
    GseLib::DataInterpretation::reset();
    return std::fabs(engineSum - floorSum) <= 1e-6 * std::fabs(floorSum) ? 0 : 1;
}
