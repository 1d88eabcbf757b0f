#include <gselib/tmdatabase.h>
#include <gselib/tmdatabaseparser.h>
#include <gselib/transferfuncfactory.h>
#include <plugins/plugins.h>
#include <tools/util/pluginmanager.h>

#include "dbtestutil.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <sstream>

K814_IMPORT_BUILTIN_PLUGINS()

using namespace GseLib;
using testutil::basicRow;
using testutil::DbFile;
using testutil::Messages;
using testutil::with;

namespace {

// Rows build their transfer functions through the factory, so it needs the built-in makers.
class BuiltinMakers : public testing::Environment {
public:
    void SetUp() override {
        manager_.loadPlugins(QList<QString>{});
        TransferFuncFactory::instance().loadTransferFuncPlugins(&manager_);
    }

private:
    PluginManager manager_;
};
const auto* const kMakers = testing::AddGlobalTestEnvironment(new BuiltinMakers);

TelemetryDatabase loaded(const QStringList& files) {
    TelemetryDatabase db;
    db.load(files, "/defs/");
    return db;
}

}  // namespace

TEST(TmDatabaseParser, Cells) {
    struct U32 {
        const char* cell;
        uint32_t value;
    };
    for (const U32& c : {U32{"16", 16}, U32{"0x10", 16}, U32{"010", 8}, U32{" 7 ", 7}, U32{"-1", 0},
                         U32{"4294967295", 4294967295u}, U32{"4294967296", 0}, U32{"abc", 0},
                         U32{"12abc", 0}, U32{"", 0}, U32{"0x", 0}}) {
        uint32_t v = 99;
        extractValueFromText(QString(c.cell), v);
        EXPECT_EQ(v, c.value) << c.cell;
    }
    long long s = 1;
    extractValueFromText(QStringLiteral("-0x20"), s);
    EXPECT_EQ(s, -32);
    unsigned long long u = 1;
    extractValueFromText(QStringLiteral("0xFFFFFFFFFFFFFFFF"), u);
    EXPECT_EQ(u, 0xFFFFFFFFFFFFFFFFull);
    double d = 1;
    extractValueFromText(QStringLiteral("1.5e3"), d);
    EXPECT_EQ(d, 1500.0);
    extractValueFromText(QStringLiteral("1,5"), d);
    EXPECT_EQ(d, 0.0);  // C locale only

    for (const auto& [cell, flag] : {std::pair{"Yes", true},
                                     {"yes", true},
                                     {"1", true},
                                     {"true", false},
                                     {"No", false},
                                     {"", false}}) {
        bool b = !flag;
        extractValueFromText(QString(cell), b);
        EXPECT_EQ(b, flag) << cell;
    }
    for (const auto& [cell, type] : {std::pair{"bin", Gse::QuipBin},
                                     {"delta", Gse::QuipDelta},
                                     {"all", Gse::QuipAll},
                                     {"blob", Gse::QuipBlob},
                                     {"0", Gse::QuipNone},
                                     {"0x2", Gse::QuipDelta}}) {
        Gse::QuipMineType t = Gse::QuipNone;
        extractValueFromText(QString(cell), t);
        EXPECT_EQ(t, type) << cell;
    }
    QMap<int, QString> map{{9, "old"}};
    extractValueFromText(QStringLiteral("1=a;0x2=b;x=c;;4"), map);
    EXPECT_EQ(map, (QMap<int, QString>{{1, "a"}, {2, "b"}, {0, ""}, {4, "4"}}));

    QByteArray text;
    extractValueFromText(QStringView(u"Grad\u00B0C \u2103"), text);
    EXPECT_EQ(text, QByteArray("Grad\xB0"
                               "C \0",
                               8));
}

TEST(TmDatabase, HeaderColumnsAreFoundByName) {
    QTemporaryDir dir;
    // Lower-case, reordered columns with an unknown one in between.
    QStringList columns = TelemetryDatabase::TMDB_HDR;
    std::reverse(columns.begin(), columns.end());
    columns.insert(3, "NOTES");
    for (QString& c : columns) {
        c = c.toLower();
    }
    DbFile f(columns);
    QMap<QString, QString> cells;
    const auto row = basicRow(42, "PWR", "V28");
    for (auto it = row.begin(); it != row.end(); ++it) {
        cells[it.key().toLower()] = it.value();
    }
    cells["notes"] = "ignored";
    const TelemetryDatabase db = loaded({f.row(cells).write(dir, "db.txt")});
    ASSERT_EQ(db.size(), 1u);
    EXPECT_EQ(db.row(42).key, "PWR:V28");
    EXPECT_EQ(db.revision(), "77");

    QStringList noK8 = TelemetryDatabase::TMDB_HDR;
    noK8.removeAll("SCI_K8");
    try {
        loaded({DbFile(noK8).write(dir, "nok8.txt")});
        FAIL() << "missing column accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Could not find required database field SCI_K8");
    }
}

TEST(TmDatabase, DataIdsCommentsAndSkippedRows) {
    QTemporaryDir dir;
    Messages tmdb("tmdb");
    DbFile f;
    f.row(with(basicRow(0, "A", "HEX"), {{"DATA_ID", "0x10"}}))
        .raw("# a comment\t1")
        .raw("")
        .row(with(basicRow(0, "A", "ZERO"), {{"DATA_ID", "0"}}))
        .row(with(basicRow(0, "A", "LETTERS"), {{"DATA_ID", "abc"}}))
        .raw(" #" + QString(f.text()).section('\n', 0, 0).section('\t', 1));
    f.row(with(basicRow(0, "A", "HEXCELL"), {{"DATA_ID", "0x11"}}));
    const TelemetryDatabase db = loaded({f.write(dir, "db.txt")});
    EXPECT_EQ(db.allIds(), (QList<uint32_t>{16, 17}));
    EXPECT_TRUE(tmdb.has("Skipped 1 commented rows"));
    // Zero, letters and the line starting with a blank are not comments: they are rejected.
    int skipped = 0;
    for (const QString& w : tmdb.warnings) {
        skipped += w.startsWith("Skipping db row - invalid data id: ");
    }
    EXPECT_EQ(skipped, 3);
    EXPECT_TRUE(tmdb.hasPrefix("Loading tmdb: "));
    EXPECT_TRUE(tmdb.has("Loaded 2 mnemonics"));
}

TEST(TmDatabase, ByteOrdersAndOffsets) {
    struct Case {
        const char* name;
        QMap<QString, QString> cells;
        std::vector<uint32_t> byteOrder, shifts, offsets;
        std::vector<double> times;
        unsigned long long id0, id1;
    };
    const Case cases[] = {
        {"big-endian count", {{"DECODE_ID2", "2"}}, {2, 1}, {8, 0}, {4}, {}, 4, 2},
        {"little-endian list", {{"DECODE_ID2", "1:2"}}, {1, 2}, {0, 8}, {4}, {}, 4, 2},
        {"count without order", {{"DECODE_ID2", "-4"}}, {}, {}, {4}, {}, 4, 4},
        {"bad order", {{"DECODE_ID2", "2:x"}}, {}, {}, {4}, {}, 4, 0},
        {"array with period",
         {{"DECODE_ID1", "10"}, {"ARRAY_LENGTH", "3"}, {"SAMPLE_PERIOD", "0.5"}},
         {2, 1},
         {8, 0},
         {10, 12, 14},
         {0, 0.5, 1.0},
         10,
         2},
        {"offset list with times",
         {{"DECODE_ID1", "10,0:20,0.25"}},
         {2, 1},
         {8, 0},
         {10, 20},
         {0, 0.25},
         10,
         2},
        {"hex offsets", {{"DECODE_ID1", "0x10:0x20:"}}, {2, 1}, {8, 0}, {16, 32}, {}, 16, 2},
        {"bad offset list", {{"DECODE_ID1", "10,1,2:20"}}, {2, 1}, {8, 0}, {}, {}, 0, 2},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        QStringList columns = TelemetryDatabase::TMDB_HDR;
        columns << "ARRAY_LENGTH"
                << "SAMPLE_PERIOD";
        testing::internal::CaptureStderr();
        const TelemetryDatabase db = loaded(
            {DbFile(columns).row(with(basicRow(5, "X", "Y"), c.cells)).write(dir, "db.txt")});
        testing::internal::GetCapturedStderr();
        const TmDatabaseRow& row = db.row(5);
        EXPECT_EQ(row.byte_order, c.byteOrder) << c.name;
        EXPECT_EQ(row.bit_shifts, c.shifts) << c.name;
        EXPECT_EQ(row.pkt_offsets, c.offsets) << c.name;
        EXPECT_EQ(row.time_offsets, c.times) << c.name;
        EXPECT_EQ(row.decode_id[0], c.id0) << c.name;
        EXPECT_EQ(row.decode_id[1], c.id1) << c.name;
        EXPECT_EQ(row.mask_bits, 16u) << c.name;
    }
}

TEST(TmDatabase, ImpossibleDecodeDescriptionsStopTheLoad) {
    struct Case {
        QMap<QString, QString> cells;
        const char* message;
    };
    const Case cases[] = {
        {{{"DECODE_TYPE", "6"}, {"DECODE_ID2", "4"}},
         "X:Y : byte order must be 8 bytes for double type"},
        {{{"DECODE_TYPE", "5"}, {"DECODE_ID2", "1:2"}},
         "X:Y : byte order must be 4 bytes for float type"},
        {{{"DECODE_ID1", "10,0:20"}}, "X:Y : pkt offset and time offset sizes do not match"},
        {{{"QUIP_MINE_TYPE", "BIN"}}, "Invalid QUIP_MINE_TYPE: BIN"},
        // A character beyond Latin-1 is a zero byte of the key; the message is not cut there.
        {{{"NAME", "Y\u03a9"}, {"DECODE_TYPE", "6"}, {"DECODE_ID2", "4"}},
         "X:Y? : byte order must be 8 bytes for double type"},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const QString path =
            DbFile().row(with(basicRow(5, "X", "Y"), c.cells)).write(dir, "db.txt");
        try {
            loaded({path});
            ADD_FAILURE() << c.message << " not raised";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }
}

TEST(TmDatabase, PatchesAddChangeAndRemoveRows) {
    QTemporaryDir dir;
    const QString main = DbFile()
                             .row(basicRow(16, "PWR", "V28"))
                             .row(with(basicRow(17, "PWR", "I28"), {{"ENG_K2", "2"}}))
                             .write(dir, "main.txt");
    // Row 16 removed, then recreated with only some cells: the rest are defaults again.
    const QString removeAndRecreate =
        DbFile()
            .row({{"DATA_ID", "-16"}})
            .row({{"DATA_ID", "16"}, {"SUB_SYSTEM", "NEW"}, {"NAME", "ROW"}})
            .write(dir, "patch1.txt");
    // Only the description of 17 changes.
    const QString describe =
        DbFile().row({{"DATA_ID", "17"}, {"DESCRIPTION", "patched"}}).write(dir, "patch2.txt");
    // Same key as 17 under another ID: the key follows the row read last.
    const QString sameKey = DbFile().row(basicRow(18, "PWR", "I28")).write(dir, "patch3.txt");

    testing::internal::CaptureStderr();
    const TelemetryDatabase db =
        loaded({main, removeAndRecreate, describe, sameKey, dir.filePath("absent.txt")});
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(db.loadedFiles(), QStringList({main, removeAndRecreate, describe, sameKey}));
    EXPECT_EQ(db.getId("PWR:V28"), 0);
    EXPECT_EQ(db.row(16).key, "NEW:ROW");
    EXPECT_EQ(db.row(16).decode_type, 0u);
    EXPECT_EQ(db.row(16).sci_units, "");
    EXPECT_EQ(db.row(17).description, "patched");
    EXPECT_EQ(db.row(17).sci_units, "V");
    EXPECT_DOUBLE_EQ(db.row(17).convertValue(10, Gse::ValueMode::Eng), 20.0);
    EXPECT_EQ(db.getId("PWR:I28"), 18);
    EXPECT_THROW(db.row(99), std::out_of_range);
    try {
        db.row("NO:SUCH");
        FAIL();
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "NO:SUCH");
    }
    EXPECT_EQ(db.allKeys(), QStringList({"NEW:ROW:0016", "PWR:I28:0017", "PWR:I28:0018"}));
}

TEST(TmDatabase, ConversionFollowsPatches) {
    QTemporaryDir dir;
    // 12-bit ADC to volts (10 V span), then volts to degrees through a line: 100 * V - 50.
    const auto row = with(basicRow(30, "THERM", "T1"), {{"ENG_EQ_TYPE", "2"},
                                                        {"ENG_K1", "10"},
                                                        {"ENG_K2", "1"},
                                                        {"SCI_EQ_TYPE", "1"},
                                                        {"SCI_FROM_ENG", "Yes"},
                                                        {"SCI_K1", "-50"},
                                                        {"SCI_K2", "100"}});
    const QString main = DbFile().row(row).write(dir, "main.txt");
    TelemetryDatabase db = loaded({main});
    const TmDatabaseRow& r = db.row(30);
    EXPECT_DOUBLE_EQ(r.convertValue(49152, Gse::ValueMode::Raw), 49152);
    EXPECT_DOUBLE_EQ(r.convertValue(49152, Gse::ValueMode::Eng), 2.5);
    EXPECT_DOUBLE_EQ(r.convertValue(49152, Gse::ValueMode::Sci), 200);
    EXPECT_EQ(r.units(Gse::ValueMode::Raw), "Raw");
    EXPECT_EQ(r.units(Gse::ValueMode::Eng), "Value");
    EXPECT_EQ(r.units(Gse::ValueMode::Sci), "V");

    const QString patch =
        DbFile().row({{"DATA_ID", "30"}, {"SCI_FROM_ENG", "no"}}).write(dir, "p.txt");
    db = loaded({main, patch});
    EXPECT_DOUBLE_EQ(db.row(30).convertValue(3, Gse::ValueMode::Sci), 250);  // from raw now
}

TEST(TmDatabase, StreamOutputReadsBackEqual) {
    QTemporaryDir dir;
    QStringList columns = TelemetryDatabase::TMDB_HDR;
    columns << "ARRAY_LENGTH"
            << "SAMPLE_PERIOD";
    DbFile f(columns);
    f.row(basicRow(1, "A", "PLAIN"))
        .row(with(basicRow(2, "A", "ARRAY"), {{"DECODE_ID1", "10"},
                                              {"ARRAY_LENGTH", "3"},
                                              {"SAMPLE_PERIOD", "0.125"},
                                              {"DECODE_ID2", "1:2"},
                                              {"DECODE_ID3", "0xFFF"}}))
        .row(with(basicRow(3, "A", "LIMITS"), {{"LIMIT_TYPE_1", "5"},
                                               {"YELLOW_LIMIT_1", "10.5"},
                                               {"RED_LIMIT_1", "20"},
                                               {"LIMIT_TYPE_2", "6"},
                                               {"RED_LIMIT_2", "-3"},
                                               {"APPLY_WHEN", "1=2..4;7=1"},
                                               {"DISCRETE_LABELS", "0=OFF;1=ON"},
                                               {"LIMITS", R"({"low": 1})"},
                                               {"HISTORY", R"({"keep": true})"},
                                               {"QUIP_MINE_TYPE", "blob"}}))
        .row(with(
            basicRow(4, "B", "COUNT"),
            {{"DECODE_ID2", "-4"}, {"ENG_K1", "0.1"}, {"SCI_K8", "1e-9"}, {"EXTRA_1", "cal.csv"}}))
        // Latin-1 text is written as UTF-8, as the reader reads it; beyond Latin-1 a zero byte.
        .row(with(basicRow(5, "B", "TEXT"),
                  {{"DESCRIPTION", "1 \u00b5s \u03a9"}, {"SCI_UNITS", "\u00b0C"}}));
    const TelemetryDatabase db = loaded({f.write(dir, "db.txt")});
    std::ostringstream out;
    out << db;
    testutil::writeFile(dir.filePath("again.txt"), QByteArray::fromStdString(out.str()));
    testing::internal::CaptureStderr();
    const TelemetryDatabase again = loaded({dir.filePath("again.txt")});
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(again.allIds(), db.allIds());
    EXPECT_EQ(again.revision(), "77");
    for (uint32_t id : db.allIds()) {
        EXPECT_EQ(again.row(id), db.row(id)) << id;
        EXPECT_EQ(again.row(id).pkt_offsets, db.row(id).pkt_offsets) << id;
        EXPECT_EQ(again.row(id).time_offsets, db.row(id).time_offsets) << id;
        EXPECT_EQ(again.row(id).byte_order, db.row(id).byte_order) << id;
        EXPECT_TRUE(again.row(id).apply_when == db.row(id).apply_when) << id;
    }
    EXPECT_EQ(out.str().substr(0, out.str().find('\n')),
              (TelemetryDatabase::TMDB_HDR.join('\t') + "\t$Revision: 77 $").toStdString());
}

TEST(TmDatabase, DiffPrintsOneLinePerField) {
    QTemporaryDir dir;
    const TelemetryDatabase a = loaded({DbFile().row(basicRow(1, "A", "X")).write(dir, "a.txt")});
    const TelemetryDatabase b = loaded(
        {DbFile()
             .row(with(basicRow(1, "A", "X"),
                       {{"DESCRIPTION", "changed"}, {"ENG_K2", "2.5"}, {"LIMIT_TYPE_1", "1"}}))
             .write(dir, "b.txt")});
    testing::internal::CaptureStdout();
    a.row(1).diff(b.row(1));
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("X description diff X reading changed\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("X eng_k_1 diff 1 2.5\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("X limitChecker1 diff valid=0"), std::string::npos) << printed;
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 3) << printed;
    testing::internal::CaptureStdout();
    a.row(1).diff(a.row(1));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_NE(a.row(1), b.row(1));
}

TEST(TmDatabase, MineTypeNoneCanBeIgnored) {
    QTemporaryDir dir;
    const QString path = DbFile()
                             .row(with(basicRow(1, "A", "KEEP"), {{"QUIP_MINE_TYPE", "all"}}))
                             .row(with(basicRow(2, "A", "DROP"), {{"QUIP_MINE_TYPE", "0"}}))
                             .row(basicRow(3, "A", "DEFAULT"))
                             .write(dir, "db.txt");
    Messages tmdb("tmdb");
    TelemetryDatabase db;
    db.setIgnoreQuipMineTypeNone(true);
    db.load({path}, "/defs/");
    EXPECT_EQ(db.allIds(), (QList<uint32_t>{1, 3}));
    EXPECT_TRUE(tmdb.has("Ignored 1 rows"));
    EXPECT_EQ(loaded({path}).size(), 3u);
}

TEST(TmDatabase, JsonPatchRows) {
    QTemporaryDir dir;
    const QString main = DbFile().row(basicRow(1, "A", "X")).write(dir, "main.txt");
    testutil::writeFile(dir.filePath("packets.json"), R"({"Packets": [
      {"packetName": "HK", "packetId": 5, "apid": 700, "gse": false, "fields": [
        {"fieldName": "COUNT", "type": "uint16_t", "description": "counter"},
        {"fieldName": "TEMP", "type": "float", "units": "C",
         "limits": {"yellow": [-10, 40], "red": [-20, 50]}},
        {"fieldName": "TIME", "type": "double"},
        {"fieldName": "SAMPLES", "type": "int16_t", "arrayLength": 4, "samplePeriod": 0.25},
        {"fieldName": "FLAGS", "type": "uint8_t", "bitFields": [
          {"name": "A", "mask": 1}, {"name": "B", "mask": "0x6"}, {"name": "C", "mask": 248}]},
        {"fieldName": "LE", "type": "uint32_t", "byteOrder": "1234",
         "conversion": {"units": "mA", "uncalToCalFunction": "polynomial",
                        "uncalToCalArgs": [1, 0.5]}},
        {"type": "uint8_t"},
        {"fieldName": "ODD", "type": "quad"}
      ]},
      {"packetName": "GSE", "packetId": 6, "apid": 700, "gse": true, "fields": []},
      {"packetName": "BROKEN", "fields": []}
    ]})");
    Messages tmdb("tmdb");
    testing::internal::CaptureStderr();
    const TelemetryDatabase db = loaded({main, dir.filePath("packets.json")});
    testing::internal::GetCapturedStderr();
    const uint32_t base = 5 * 32768;
    const QList<uint32_t> expected = {1,        base,     base + 1, base + 2, base + 3,
                                      base + 4, base + 5, base + 6, base + 7, base + 8};
    EXPECT_EQ(db.allIds(), expected);
    // Offsets follow the field sizes; the three bit fields share their byte (22), with own masks.
    const std::vector<std::vector<uint32_t>> offsets = {{0},  {2},  {6},  {14, 16, 18, 20},
                                                        {22}, {22}, {22}, {23}};
    for (uint32_t i = 0; i < offsets.size(); ++i) {
        EXPECT_EQ(db.row(base + i).pkt_offsets, offsets[i]) << i;
    }
    EXPECT_EQ(db.row(base).byte_order, (std::vector<uint32_t>{2, 1}));
    EXPECT_EQ(db.row(base).description, "counter");
    EXPECT_EQ(db.row(base).sci_units, "Value");
    EXPECT_EQ(db.row(base + 1).byte_order, (std::vector<uint32_t>{4, 3, 2, 1}));
    EXPECT_EQ(db.row(base + 1).decode_type, 5u);
    EXPECT_EQ(db.row(base + 1).sci_units, "C");
    EXPECT_EQ(db.row(base + 1).limitChecker1.checkLimit(-15), 1);  // raw, below yellow low
    EXPECT_EQ(db.row(base + 1).limitChecker2.checkLimit(55), 3);   // above both highs
    EXPECT_EQ(db.row(base + 2).byte_order.size(), 8u);
    EXPECT_EQ(db.row(base + 3).time_offsets, (std::vector<double>{0, 0.25, 0.5, 0.75}));
    EXPECT_EQ(db.row(base + 3).decode_type, 4u);
    EXPECT_EQ(db.row(base + 5).decode_id[2], 6u);
    EXPECT_EQ(db.row(base + 5).key, "HK:FLAGS_B");
    EXPECT_EQ(db.row(base + 6).decode_id[2], 248u);
    EXPECT_EQ(db.row(base + 6).mask_bits, 5u);
    EXPECT_EQ(db.row(base + 7).byte_order, (std::vector<uint32_t>{1, 2, 3, 4}));
    EXPECT_DOUBLE_EQ(db.row(base + 7).convertValue(10, Gse::ValueMode::Sci), 6.0);
    EXPECT_EQ(db.row(base + 7).sci_units, "mA");
    EXPECT_EQ(db.packetTypeLines(), QStringList({"5, HK, false, -1, -1", "6, GSE, true, -1, -1"}));
    EXPECT_EQ(db.apidList(), QList<int>({700}));
    EXPECT_TRUE(tmdb.has("Missing fieldName for packet 0 index 6"));
    EXPECT_TRUE(tmdb.has("Invalid database type: quad"));
    EXPECT_TRUE(tmdb.has("Missing required field in .json file. Packet index 2"));

    testutil::writeFile(dir.filePath("broken.json"), "{\"Packets\": [");
    TelemetryDatabase other;
    EXPECT_FALSE(other.patch(dir.filePath("broken.json"), "/defs/"));
}

TEST(TmDatabase, JsonRowsAreRowsATextFileCanHold) {
    // Each case made a row that the stream output could not write back (found by fuzzing).
    struct Case {
        const char* packet;
        QList<uint32_t> ids;
        const char* key;  // of the last ID
        const char* message;
    };
    const Case cases[] = {
        // The first row of packet 0 would have ID 0.
        {R"({"packetName": "Z", "packetId": 0, "fields": [{"fieldName": "A", "type": "uint8_t"},
            {"fieldName": "B", "type": "uint8_t"}]})",
         {1},
         "Z:B",
         "Skipping db row - invalid data id: Z\tA"},
        // IDs stay below 2^31: 65535 x 32768 + 32767 is the highest.
        {R"({"packetName": "TOP", "packetId": 65535, "fields": [{"fieldName": "A", "type": "int"}]})",
         {2147450880u},
         "TOP:A",
         nullptr},
        {R"({"packetName": "BIG", "packetId": 65536, "fields": [{"fieldName": "A", "type": "int"}]})",
         {},
         nullptr,
         "packetId 65536 of BIG gives data IDs beyond 2147483647, packet skipped"},
        // A TAB would start another cell, a line break another line.
        {R"({"packetName": "T", "packetId": 1, "fields": [{"fieldName": "A\tB", "type": "int",
            "description": "two\nlines", "units": "x\ry"}]})",
         {32768},
         "T:A B",
         nullptr},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        testutil::writeFile(dir.filePath("p.json"),
                            QByteArray(R"({"Packets": [)") + c.packet + "]}");
        Messages tmdb("tmdb");
        const TelemetryDatabase db = loaded({dir.filePath("p.json")});
        EXPECT_EQ(db.allIds(), c.ids) << c.packet;
        if (c.key) {
            EXPECT_EQ(db.row(c.ids.last()).key, c.key);
        }
        if (c.message) {
            EXPECT_TRUE(tmdb.hasPrefix(c.message)) << tmdb.all.join('\n').toStdString();
        }
        std::ostringstream out;
        out << db;
        testutil::writeFile(dir.filePath("again.txt"), QByteArray::fromStdString(out.str()));
        EXPECT_EQ(loaded({dir.filePath("again.txt")}).allIds(), c.ids) << out.str();
    }
}

TEST(TmDatabase, ClocksAndConstantsBesideTheFirstFile) {
    QTemporaryDir dir;
    testutil::writeFile(dir.filePath("clocks.txt"), R"({"clocks": [
        {"name": "SCLK", "epoch": "2010-01-01T00:00:00Z", "sub_seconds_per_second": 256},
        {"name": "OTHER"}]})");
    testutil::writeFile(dir.filePath("constants.json"), R"([
        {"type": "int", "name": "N", "value": "12"},
        {"type": "int", "name": "BAD", "value": "3.5"},
        {"type": "double", "name": "G", "value": "9.81"},
        {"type": "string", "name": "S", "value": "text"},
        {"type": "bool", "name": "Q", "value": "1"}])");
    const QString path = DbFile()
                             .row(with(basicRow(1, "T", "TIME"), {{"CLOCK", "SCLK"}}))
                             .row(with(basicRow(2, "T", "UNKNOWN_CLOCK"), {{"CLOCK", "NOPE"}}))
                             .write(dir, "db.txt");
    Messages tmdb("tmdb");
    const TelemetryDatabase db = loaded({path});
    EXPECT_TRUE(db.hasClocks());
    ASSERT_NE(db.row(1).clock, nullptr);
    EXPECT_EQ(db.row(1).clock->epochOffset(), 1262304000);
    EXPECT_EQ(db.row(2).clock, nullptr);
    EXPECT_TRUE(tmdb.has("Loaded 2 clocks"));
    EXPECT_EQ(db.constants().size(), 3u);
    EXPECT_EQ(std::get<int>(db.constants().at("N")), 12);
    EXPECT_DOUBLE_EQ(std::get<double>(db.constants().at("G")), 9.81);
    EXPECT_EQ(std::get<QByteArray>(db.constants().at("S")), "text");
    EXPECT_TRUE(tmdb.has("Could not convert constant value to int: 3.5"));
    EXPECT_TRUE(tmdb.has("Unknown constant type: bool"));

    // Malformed companions never stop the load.
    testutil::writeFile(dir.filePath("clocks.txt"), "{\"clocks\": [");
    testutil::writeFile(dir.filePath("constants.json"), "not json");
    Messages again("tmdb");
    const TelemetryDatabase db2 = loaded({path});
    EXPECT_EQ(db2.size(), 2u);
    EXPECT_FALSE(db2.hasClocks());
    EXPECT_TRUE(again.hasPrefix("Clock file parsing error: "));
    EXPECT_TRUE(again.hasPrefix("Failed to parse constants file: "));

    testutil::writeFile(dir.filePath("clocks.txt"), "{\"other\": []}");
    Messages none("tmdb");
    loaded({path});
    EXPECT_TRUE(none.has("Loaded 0 clocks"));
}
