// Fuzz target for the telemetry database readers. The first input byte picks what the rest is:
// 0 a whole text database, 1 a JSON patch on a small base database, 2 "clocks.txt" beside that
// base, 3 "constants.json" beside it, 4 a text patch on it. The load may end only with the errors
// a database states (a missing required column, an impossible decode description, an invalid mine
// type); any other exception, crash or sanitizer report is a finding. A database that loads is
// used as the engine would (every row converts, checks limits, labels and times a few values),
// then written out, read back and written again: the two texts must be equal, since the writer
// must only write what the reader reads back the same.

#include <gselib/tmdatabase.h>
#include <gselib/transferfuncfactory.h>
#include <plugins/plugins.h>
#include <tools/util/pluginmanager.h>

#include "fuzzfiles.h"

#include <QDebug>
#include <sstream>
#include <stdexcept>
#include <string>

K814_IMPORT_BUILTIN_PLUGINS()

namespace {

using GseLib::TelemetryDatabase;

// Columns of the base database: every column the reader knows, so that patches can fill any.
const char* const kBaseHeader =
    "SUB_SYSTEM\tNAME\tDESCRIPTION\tADC_#\tDATA_ID\tPACKET_TYPE\tPACKET_SUBTYPE\tPACKET_NAME\t"
    "APPLY_WHEN\tDECODE_TYPE\tDECODE_ID1\tDECODE_ID2\tDECODE_ID3\tDECODE_ID4\tCLOCK\tRAW_FMT\t"
    "ENG_FMT\tENG_EQ_TYPE\tENG_K1\tENG_K2\tSCI_UNITS\tSCI_FMT\tSCI_EQ_TYPE\tSCI_FROM_ENG\tSCI_K1\t"
    "SCI_K2\tSCI_K3\tSCI_K4\tSCI_K5\tSCI_K6\tSCI_K7\tSCI_K8\tMUX_CH\tLIMIT_TYPE_1\tYELLOW_LIMIT_1\t"
    "RED_LIMIT_1\tLIMIT_TYPE_2\tYELLOW_LIMIT_2\tRED_LIMIT_2\tLIMITS\tHISTORY\tEXTRA_1\t"
    "QUIP_MINE_TYPE\tQUIP_MINE_RAW\tQUIP_MINE_ENG\tDISCRETE_LABELS\tBUNDLE_ID\tARRAY_LENGTH\t"
    "SAMPLE_PERIOD\t$Revision: 12 $\n";

// Three rows: a clocked time, a thermistor with limits and labels, a lookup-table array.
const char* const kBaseRows =
    "TIME\tSECS\tseconds\t0\t10\t2\t0\tHK\t\t9\t1\t6\t0\t0\tSCLK\t%1.0f\t%.3f\t0\t0\t1\tValue\t"
    "%.4f\t0\tNo\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t\t\t0\t\t\t\t\t\tall\tY\tN\t\t7\t1\t0\n"
    "PWR\tT1\ttemperature\t3\t11\t2\t0\tHK\t10=0..5\t1\t12\t2\t0xFFF\t0\t\t%1.0f\t%.3f\t4\t"
    "32768\t1000\tC\t%.2f\t1\tY\t0\t2\t0\t0\t0\t0\t0\t0\t0\t1\t10\t20\t5\t30\t40\t{\"a\":1}\t"
    "{\"h\":[1]}\t\tbin\t1\t1\t0=OFF;1..3=LOW;2.5=HALF\t-3\t1\t0\n"
    "PWR\tLUT\tlookup\t0\t12\t3\t1\tHK3\t\t1\t20\t1:2\t0xFFFF\t0\t\t%1.0f\t%.3f\t12\t0\t0\tV\t"
    "%.3f\t0\tN\t0\t0\t0\t0\t0\t0\t0\t0\t0\t3\t1\t2\t0\t0\t0\t\t\tt.csv\tall\t0\t0\t\t0\t4\t0.5\n";

const char* const kClocks =
    "{\"clocks\":[{\"name\":\"SCLK\",\"epoch\":\"2000-01-01T12:00:00Z\","
    "\"leap_seconds_offset\":32,\"sub_seconds_per_second\":65536,\"leap_seconds\":["
    "{\"datetime\":\"2008-12-31T23:59:59Z\",\"seconds\":1},"
    "{\"datetime\":\"2012-06-30T23:59:59Z\",\"seconds\":1}]}]}";

const char* const kConstants =
    "[{\"type\":\"int\",\"name\":\"N\",\"value\":\"8\"},"
    "{\"type\":\"double\",\"name\":\"D\",\"value\":\"0.5\"}]";

const char* const kLookupTable = "# x,y\n0,10\n10,20\n20,40\n";

void loadMakers() {
    static PluginManager manager;
    static const bool loaded = [] {
        manager.loadPlugins(QList<QString>{});
        TransferFuncFactory::instance().loadTransferFuncPlugins(&manager);
        return true;
    }();
    (void)loaded;
}

bool endsWith(const std::string& s, const char* suffix) {
    const std::string t(suffix);
    return s.size() >= t.size() && s.compare(s.size() - t.size(), t.size(), t) == 0;
}

// The runtime errors a database load is allowed to end with.
bool statedError(const std::string& m) {
    return m.rfind("Could not find required database field ", 0) == 0 ||
           m.rfind("Invalid QUIP_MINE_TYPE: ", 0) == 0 ||
           endsWith(m, " : byte order must be 8 bytes for double type") ||
           endsWith(m, " : byte order must be 4 bytes for float type") ||
           endsWith(m, " : pkt offset and time offset sizes do not match");
}

// Loads files; false when the load ended with a stated error.
bool load(TelemetryDatabase& db, const QStringList& files, const QString& definitionsDir) {
    try {
        db.load(files, definitionsDir);
        return true;
    } catch (const std::runtime_error& e) {
        if (!statedError(e.what())) {
            fuzzfiles::finding("unexpected error from the load:", QString::fromStdString(e.what()));
        }
        return false;
    }
}

// What the engine does with rows: conversions, limits, labels and clock readings.
void useRows(const TelemetryDatabase& db) {
    static const double raws[] = {0.0, 1.0, -1.0, 255.0, 32768.0, 65535.0, 4294967295.0, -2e9};
    for (uint32_t id : db.allIds()) {
        const GseLib::TmDatabaseRow& row = db.row(id);
        for (double raw : raws) {
            for (int mode = 0; mode <= 2; ++mode) {
                (void)row.convertValue(raw, static_cast<Gse::ValueMode>(mode));
            }
            (void)row.limitChecker1.checkLimit(raw);
            (void)row.limitChecker2.checkLimit(raw);
            (void)row.discrete_labels.label(static_cast<long long>(raw));
            (void)row.discrete_labels.label(raw + 0.5);
            (void)row.apply_when.passes([](int, bool* ok) {
                *ok = true;
                return 1.0;
            });
        }
        if (row.clock) {
            (void)row.clock->toUnixTime(0, 0, 0);
            (void)row.clock->toUnixTime(400000000, 32768, 65536);
        }
        (void)row.units(Gse::ValueMode::Sci);
    }
    (void)db.allKeys();
    for (const auto& [name, clock] : db.clocks()) {
        (void)clock->toUnixTime(0, 1, 10);
        (void)clock->toUnixTime(1000000000, 65535, 65536);
        (void)clock->toJson();
        QString text;
        QDebug(&text) << *clock;
    }
}

// The first line where two texts differ, both versions, with unprintable bytes escaped.
QString firstDifferentLine(const std::string& a, const std::string& b) {
    size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at]) {
        ++at;
    }
    const size_t from = at == 0 ? 0 : a.rfind('\n', at - 1) + 1;
    auto line = [from](const std::string& s) {
        QString out;
        for (size_t i = from; i < s.size() && s[i] != '\n'; ++i) {
            const auto c = static_cast<unsigned char>(s[i]);
            out += c >= 32 && c < 127 ? QString(QChar(c))
                                      : QStringLiteral("\\x%1").arg(c, 2, 16, QLatin1Char('0'));
        }
        return out;
    };
    return line(a) + QStringLiteral("\n  became\n") + line(b);
}

std::string written(const TelemetryDatabase& db) {
    std::ostringstream out;
    out << db;
    return out.str();
}

// Writes db beside the files it came from, reads that back and writes it again.
void roundTrip(const TelemetryDatabase& db, const QString& dir, const QString& definitionsDir) {
    const std::string first = written(db);
    const QString path =
        fuzzfiles::write(dir + QStringLiteral("/written.txt"),
                         QByteArray(first.data(), static_cast<qsizetype>(first.size())));
    TelemetryDatabase again;
    try {
        again.load({path}, definitionsDir);
    } catch (const std::runtime_error& e) {
        fuzzfiles::finding("the written database does not read back:",
                           QString::fromStdString(e.what()));
    }
    if (again.size() != db.size()) {
        fuzzfiles::finding("the written database reads back with another number of rows");
    }
    const std::string second = written(again);
    if (second != first) {
        fuzzfiles::finding("written, read back and written again differs:",
                           firstDifferentLine(first, second));
    }
}

void setUp() {
    static const bool done = [] {
        fuzzfiles::silenceLibraryMessages();
        loadMakers();
        const QByteArray base = QByteArray(kBaseHeader) + kBaseRows;
        for (const char* dir : {"fixed", "clocks", "constants"}) {
            const QString d = QString::fromLatin1(dir);
            fuzzfiles::write(d + QStringLiteral("/base.txt"), base);
            fuzzfiles::write(d + QStringLiteral("/lookupTables/t.csv"), kLookupTable);
        }
        fuzzfiles::write(QStringLiteral("fixed/clocks.txt"), kClocks);
        fuzzfiles::write(QStringLiteral("fixed/constants.json"), kConstants);
        fuzzfiles::write(QStringLiteral("constants/clocks.txt"), kClocks);
        fuzzfiles::write(QStringLiteral("clocks/constants.json"), kConstants);
        return true;
    }();
    (void)done;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    setUp();
    const QString root = fuzzfiles::scratchDir();
    QString dir = QStringLiteral("fixed");
    QStringList files;
    switch (data[0] % 5) {
        case 0:
            files = {fuzzfiles::write(QStringLiteral("fixed/input.txt"), data + 1, size - 1)};
            break;
        case 1:
            files = {root + QStringLiteral("/fixed/base.txt"),
                     fuzzfiles::write(QStringLiteral("fixed/input.json"), data + 1, size - 1)};
            break;
        case 2:
            dir = QStringLiteral("clocks");
            fuzzfiles::write(QStringLiteral("clocks/clocks.txt"), data + 1, size - 1);
            files = {root + QStringLiteral("/clocks/base.txt")};
            break;
        case 3:
            dir = QStringLiteral("constants");
            fuzzfiles::write(QStringLiteral("constants/constants.json"), data + 1, size - 1);
            files = {root + QStringLiteral("/constants/base.txt")};
            break;
        default:
            files = {root + QStringLiteral("/fixed/base.txt"),
                     fuzzfiles::write(QStringLiteral("fixed/input.txt"), data + 1, size - 1)};
            break;
    }
    const QString definitionsDir = root + QLatin1Char('/') + dir;
    TelemetryDatabase db;
    if (!load(db, files, definitionsDir)) {
        return 0;
    }
    useRows(db);
    roundTrip(db, dir, definitionsDir);
    return 0;
}
