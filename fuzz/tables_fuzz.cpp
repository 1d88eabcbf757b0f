// Fuzz target for the small definition tables. The first input byte picks what the rest is:
// 0 a DAC conversion table, 1 a "tm_packet_types.txt" catalogue (time mnemonics looked up in a
// small database), 2 a lookup table of a transfer function. None of these readers raises: bad
// lines become rows with zero fields, are skipped with a message, or leave the table invalid. So
// any exception, crash or sanitizer report is a finding, and so is a value that breaks what the
// tables promise: a valid lookup table passes through each of its own points, and a packet type
// accepts a length exactly when its limits say so.

#include <gselib/dactable.h>
#include <gselib/lookuptabletransferfunc.h>
#include <gselib/tmdatabase.h>
#include <gselib/tmpackettypes.h>

#include "fuzzfiles.h"

#include <QDebug>
#include <QTextStream>
#include <cmath>

namespace {

const char* const kDatabase =
    "SUB_SYSTEM\tNAME\tDESCRIPTION\tDATA_ID\tPACKET_TYPE\tDECODE_TYPE\tDECODE_ID1\tDECODE_ID2\t"
    "DECODE_ID3\tDECODE_ID4\tRAW_FMT\tENG_FMT\tENG_EQ_TYPE\tENG_K1\tENG_K2\tSCI_UNITS\tSCI_FMT\t"
    "SCI_EQ_TYPE\tSCI_FROM_ENG\tSCI_K1\tSCI_K2\tSCI_K3\tSCI_K4\tSCI_K5\tSCI_K6\tSCI_K7\tSCI_K8\n"
    "TIME\tMET\tmission "
    "time\t553\t2\t9\t1\t6\t0\t0\t\t\t0\t0\t1\t\t\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\n"
    "\tBARE\tno subsystem\t7\t3\t1\t1\t4\t0\t0\t\t\t0\t0\t1\t\t\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\n";

const GseLib::TelemetryDatabase& database() {
    static const GseLib::TelemetryDatabase db = [] {
        GseLib::TelemetryDatabase d;
        d.load({fuzzfiles::write(QStringLiteral("db/db.txt"), kDatabase)}, QString());
        return d;
    }();
    return db;
}

void dacTable(const QString& path) {
    GseLib::DacTable table;
    table.initialize(path);
    static const double values[] = {0.0, -1.0, 1.0, 4095.0, -2048.5, 1e300, -1e300};
    for (const QByteArray& name : table.getNames()) {
        const GseLib::DacTableRow row = table.row(name.constData());
        for (double v : values) {
            (void)row.valid(v);
        }
        (void)row.valid(QStringLiteral(" 12.5 "));
        (void)row.valid(QStringLiteral("x"));
        if (row.rawLow() > row.rawHigh()) {
            fuzzfiles::finding("DAC row with an empty raw range:", QString::fromLatin1(name));
        }
    }
    for (int id : table.allDacIds()) {
        (void)table.name(id);
    }
    QString text;
    QTextStream out(&text);
    table.dump(out);
}

void packetTypes(const QString& path) {
    GseLib::PacketTypes types;
    types.load(path, &database());
    static const int lengths[] = {-1, 0, 1, 9, 10, 20, 21, 65535, 2147483647};
    for (auto it = types.entries().constBegin(); it != types.entries().constEnd(); ++it) {
        const GseLib::TMPacketTypeInfo& info = it.value();
        if (!info.valid || info.type != it.key()) {
            fuzzfiles::finding("catalogue holds an entry under another type");
        }
        for (int length : lengths) {
            const bool expected =
                info.minLength < 0 || (info.minLength <= length && length <= info.maxLength);
            if (types.isValidLength(it.key(), length) != expected) {
                fuzzfiles::finding("length check disagrees with the entry's limits");
            }
        }
        const GseLib::TMPacketTypeInfo* named = types.find(types.type(info.name));
        if (!named || named->name != info.name) {
            fuzzfiles::finding("an entry's name is not found:", info.name);
        }
        QString text;
        QDebug(&text) << info;
    }
}

void lookupTable(const QString& dir) {
    const LookupTableTransferFunc f(dir.toStdString(), "table.csv");
    const auto& table = f.table();
    static const double probes[] = {0.0, -1.0, 1.0, 1e9, -1e9, NAN, INFINITY};
    for (double x : probes) {
        (void)f.apply(x);
    }
    (void)f.equationAsString();
    // Through its own points when they are finite, moderate and strictly ascending.
    bool plain = table.size() >= 2;
    for (qsizetype i = 0; plain && i < table.size(); ++i) {
        plain = std::fabs(table[i].first) < 1e6 && std::fabs(table[i].second) < 1e6 &&
                (i == 0 || table[i - 1].first < table[i].first);
    }
    for (qsizetype i = 0; plain && i < table.size(); ++i) {
        const double y = f.apply(table[i].first);
        if (!(std::fabs(y - table[i].second) <= 1e-6 * (1.0 + std::fabs(table[i].second)))) {
            fuzzfiles::finding("lookup table misses its own point");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    fuzzfiles::silenceLibraryMessages();
    (void)database();
    switch (data[0] % 3) {
        case 0:
            dacTable(fuzzfiles::write(QStringLiteral("dac.txt"), data + 1, size - 1));
            break;
        case 1:
            packetTypes(
                fuzzfiles::write(QStringLiteral("tm_packet_types.txt"), data + 1, size - 1));
            break;
        default:
            fuzzfiles::write(QStringLiteral("defs/lookupTables/table.csv"), data + 1, size - 1);
            lookupTable(fuzzfiles::scratchDir() + QStringLiteral("/defs"));
            break;
    }
    return 0;
}
