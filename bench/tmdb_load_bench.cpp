// Loads a generated telemetry database of many rows and compares the time with the floor: the
// same file read line by line and split into cells, with no parsing. Prints the ratio and the
// peak resident memory.
//
//   tmdb_load_bench [--rows N] [--repeat R]

#include <gselib/tmdatabase.h>
#include <gselib/transferfuncfactory.h>
#include <plugins/plugins.h>
#include <tools/logger/eventlogger.h>
#include <tools/util/pluginmanager.h>

#include "benchutil.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

K814_IMPORT_BUILTIN_PLUGINS()

namespace {

using bench::Clock;
using bench::median;

// A database resembling a mission's: scalar and array rows, several conversions, labels and
// limits, spread over 40 packet types.
void writeDatabase(const QString& path, int rows) {
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    QTextStream out(&f);
    QStringList header = GseLib::TelemetryDatabase::TMDB_HDR;
    header << "ARRAY_LENGTH"
           << "SAMPLE_PERIOD";
    out << header.join('\t') << "\t$Revision: 9000 $\n";
    for (int i = 1; i <= rows; ++i) {
        const int type = 10 + i % 40;
        const bool array = i % 10 == 0;
        QStringList c(header.size());
        c[0] = QStringLiteral("SUB%1").arg(type);
        c[1] = QStringLiteral("ITEM_%1").arg(i);
        c[2] = QStringLiteral("generated item %1 of packet %2").arg(i).arg(type);
        c[3] = "0";
        c[4] = QString::number(i);
        c[5] = QString::number(type);
        c[6] = "0";
        c[9] = i % 7 == 0 ? "4" : "1";
        c[10] = QString::number(8 + (i % 50) * 2);
        c[11] = i % 13 == 0 ? "1:2" : "2";
        c[12] = i % 3 == 0 ? "0xFFF" : "0";
        c[13] = "0";
        c[15] = "%1.0f";
        c[16] = "%.3f";
        c[17] = i % 2 ? "2" : "1";
        c[18] = "10";
        c[19] = "1";
        c[20] = "V";
        c[21] = "%.4f";
        c[22] = QString::number(i % 5 == 0 ? 4 : 1);
        c[23] = i % 4 == 0 ? "Yes" : "No";
        for (int k = 0; k < 8; ++k) {
            c[24 + k] = k == 1 ? "1.5" : k == 2 ? "1e-6" : "0";
        }
        c[32] = i % 9 == 0 ? "0=OFF;1=ON;2..5=FAULT" : "";
        c[33] = "0";
        c[34] = i % 11 == 0 ? "7" : "";
        c[35] = i % 11 == 0 ? "40" : "";
        c[36] = i % 11 == 0 ? "50" : "";
        c[42] = "";
        c[43] = "all";
        c[44] = array ? "16" : "1";
        c[45] = array ? "0.0625" : "0";
        out << c.join('\t') << '\n';
    }
}

// The floor: read every line and split it into cells, parsing nothing.
size_t readOnly(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly | QIODevice::Text);
    QTextStream in(&f);
    QString line;
    line.reserve(16384);
    size_t cells = 0;
    while (in.readLineInto(&line)) {
        cells += static_cast<size_t>(QStringView(line).count(QLatin1Char('\t'))) + 1;
    }
    return cells;
}

}  // namespace

int main(int argc, char** argv) {
    const int rows = bench::intOption(argc, argv, "--rows", 20000);
    const int repeat = std::max(1, bench::intOption(argc, argv, "--repeat", 5));
    QCoreApplication app(argc, argv);
    EventLogger logger(LoggerConfig::noLogging());
    PluginManager manager;
    manager.loadPlugins(QList<QString>{});
    TransferFuncFactory::instance().loadTransferFuncPlugins(&manager);

    QTemporaryDir dir;
    const QString path = dir.filePath("BENCH_TM_Database.txt");
    writeDatabase(path, rows);
    const double bytes = static_cast<double>(QFile(path).size());

    size_t cells = 0;
    const double floor = median(repeat, [&] { cells += readOnly(path); });
    size_t loaded = 0;
    const double load = median(repeat, [&] {
        GseLib::TelemetryDatabase db;
        db.load({path}, dir.path() + "/");
        loaded = db.size();
    });

    std::printf("rows %d (%zu loaded), file %.1f MB, %d runs (medians)\n", rows, loaded,
                bytes / 1e6, repeat);
    std::printf("floor  (read + split):  %8.3f s  %8.1f MB/s\n", floor, bytes / 1e6 / floor);
    std::printf("load   (TelemetryDatabase::load): %8.3f s  %8.0f rows/s\n", load, rows / load);
    std::printf("ratio  load / floor:    %8.2f\n", load / floor);
    std::printf("peak RSS: %.1f MB\n", bench::peakRssMb());
    return loaded == static_cast<size_t>(rows) ? 0 : 1;
}
