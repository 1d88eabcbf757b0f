#include <gselib/currentvaluetable.h>
#include <gselib/datainterpretation.h>
#include <gselib/genericdecoders.h>

#include "enginetestutil.h"

#include <gtest/gtest.h>

#include <QTimeZone>
#include <cmath>

using namespace GseLib;
using testutil::DbFile;
using testutil::Engine;
using testutil::Messages;
using testutil::tom;
using testutil::with;

namespace {

QMap<QString, QString> tomRow(int id, const QString& name, const QMap<QString, QString>& cells) {
    return with(testutil::basicRow(id, "E", name),
                with({{"PACKET_TYPE", "22"}, {"DECODE_ID1", "9"}, {"DECODE_ID3", "0"}}, cells));
}

DbFile database() {
    DbFile f;
    // Packet type 22: byte 8 subtype, byte 9-10 a counter, byte 11 a mode, 12-15 text.
    f.row(tomRow(1, "COUNT",
                 {{"ENG_EQ_TYPE", "1"},
                  {"ENG_K1", "1"},
                  {"ENG_K2", "2"},
                  {"SCI_EQ_TYPE", "1"},
                  {"SCI_K2", "10"},
                  {"SCI_UNITS", "mA"}}))
        .row(tomRow(2, "MODE", {{"DECODE_ID1", "11"}, {"DECODE_ID2", "1"}}))
        .row(tomRow(3, "ONLY_IN_MODE_1", {{"APPLY_WHEN", "2=1"}}))
        .row(tomRow(4, "SUB3", {{"PACKET_SUBTYPE", "3"}}))
        .row(tomRow(5, "TEXT", {{"DECODE_TYPE", "7"}, {"DECODE_ID1", "12"}, {"DECODE_ID2", "0"}}))
        .row(tomRow(6, "NO_DECODER", {{"DECODE_TYPE", "999"}}))
        .row(tomRow(7, "PAST_END",
                    {{"DECODE_TYPE", "7"}, {"DECODE_ID1", "12"}, {"DECODE_ID2", "40:1"}}))
        .row(tomRow(8, "LE", {{"DECODE_TYPE", "2"}, {"DECODE_ID1", "9"}, {"DECODE_ID3", "0xFFFF"}}))
        .row(tomRow(9, "SUM", {{"DECODE_TYPE", "55"}}));
    return f;
}

// count = 0x0102 (258), mode, then text.
std::shared_ptr<TomPacket> packet(int subtype, int mode, const QByteArray& text) {
    std::vector<uint8_t> data = {uint8_t(subtype), 0x01, 0x02, uint8_t(mode)};
    data.insert(data.end(), text.begin(), text.end());
    data.push_back(0);
    return tom(22, data, 50);
}

}  // namespace

TEST(DataInterpretation, CurrentNeedsInit) {
    DataInterpretation::reset();
    try {
        DataInterpretation::current();
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "DataInterpretation singleton was not initialized!");
    }
}

TEST(DataInterpretation, ValuesInEveryMode) {
    Engine engine(database());
    const auto p = packet(0, 1, "12.5");
    bool ok = false;
    struct Case {
        Gse::ValueMode mode;
        double value;
    };
    // raw 258; eng = 1 + 2 x 258; sci = 10 x 258 (not from eng).
    for (const Case& c : {Case{Gse::ValueMode::Raw, 258}, Case{Gse::ValueMode::Eng, 517},
                          Case{Gse::ValueMode::Sci, 2580}}) {
        EXPECT_DOUBLE_EQ(engine.di().getValue(1, p.get(), c.mode, &ok), c.value);
        EXPECT_TRUE(ok);
        EXPECT_DOUBLE_EQ(engine.di().getValue("E:COUNT", p.get(), c.mode, &ok), c.value);
        EXPECT_DOUBLE_EQ(engine.di().convertValue("E:COUNT", 258, c.mode, &ok), c.value);
    }
    // Text that reads as a number is one; letters read as 0.0 but the value exists.
    EXPECT_DOUBLE_EQ(engine.di().getValue(5, p.get(), Gse::ValueMode::Raw, &ok), 12.5);
    EXPECT_TRUE(ok);
    const auto letters = packet(0, 1, "abc");
    EXPECT_DOUBLE_EQ(engine.di().getValue(5, letters.get(), Gse::ValueMode::Raw, &ok), 0.0);
    EXPECT_TRUE(ok);
    EXPECT_EQ(engine.di().stringValue(5, letters.get(), &ok), "abc");
    EXPECT_EQ(engine.di().stringValue(1, letters.get(), &ok), "258");

    DataItems items;
    ASSERT_TRUE(engine.di().getData(1, p.get(), items, Gse::ValueMode::Sci, true, nullptr));
    EXPECT_EQ(items[0].value, DataItem::Value(2580.0));
    EXPECT_EQ(engine.di().db()->row(1).units(Gse::ValueMode::Sci), "mA");
}

TEST(DataInterpretation, RowsAreGatedByTypeSubtypeAndConditions) {
    Engine engine(database());
    bool ok = true;
    struct Case {
        int id;
        std::shared_ptr<TMPacket> packet;
        bool ok;
    };
    const Case cases[] = {
        {3, packet(0, 1, ""), true},     // mode 1: applies
        {3, packet(0, 2, ""), false},    // mode 2: does not
        {4, packet(3, 1, ""), true},     // subtype 3
        {4, packet(4, 1, ""), false},    // subtype 4
        {1, packet(7, 1, ""), true},     // subtype 0 rows take any subtype
        {1, tom(23, {0, 1, 2}), false},  // another packet type
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        engine.di().getValue(c.id, c.packet.get(), Gse::ValueMode::Raw, &ok);
        EXPECT_EQ(ok, c.ok) << i;
    }
    // Conditions can be skipped.
    DataItems items;
    EXPECT_TRUE(engine.di().decodePacket(3, packet(0, 2, "").get(), items, false, nullptr));
    EXPECT_FALSE(engine.di().decodePacket(1, nullptr, items, true, nullptr));
}

TEST(DataInterpretation, FailuresAreReportedNotThrown) {
    Messages decode("decode");
    Engine engine(database());
    const auto p = packet(0, 1, "x");
    bool ok = true;
    EXPECT_EQ(engine.di().getValue(6, p.get(), Gse::ValueMode::Raw, &ok), 0.0);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(decode.has("Invalid decode type 999 ID: 6"));
    EXPECT_EQ(engine.di().getValue("NO:SUCH", p.get(), Gse::ValueMode::Raw, &ok), 0.0);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(decode.has("Unknown mnemonic: NO:SUCH"));
    EXPECT_EQ(engine.di().getValue(12345, p.get(), Gse::ValueMode::Raw, &ok), 0.0);
    EXPECT_TRUE(decode.has("12345 not found"));
    // A byte order that points past the packet: the read raises inside, reported as a warning.
    EXPECT_EQ(engine.di().stringValue(7, p.get(), &ok), "");
    EXPECT_FALSE(ok);
    EXPECT_TRUE(decode.warnings.last().endsWith(" not found"))
        << decode.warnings.last().toStdString();
    EXPECT_EQ(engine.di().convertValue(12345, 1.0, Gse::ValueMode::Raw, &ok), 0.0);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(decode.hasPrefix("Got exception in convertValue: "));
    // Without a current value table a history has nothing to read.
    EXPECT_EQ(engine.di().getValue(9, p.get(), Gse::ValueMode::Raw, &ok), 0.0);
    EXPECT_FALSE(ok);
}

TEST(DataInterpretation, LoadingReportsAndPatches) {
    QTemporaryDir other;
    Messages tmdb("tmdb");
    Messages decode("decode");
    Engine engine(database());
    EXPECT_TRUE(tmdb.has("Unsupported decoder type: 999"));
    EXPECT_EQ(engine.di().pluginDir(), engine.defs() + "/plugins/macos");

    // Patches are found in the definitions directory ignoring case, with or without ".txt".
    DbFile()
        .row(tomRow(1, "COUNT", {{"DESCRIPTION", "patched"}}))
        .write(engine.dir, "TMDef/Fix1.txt");
    engine.di().loadDatabase({"FIX1", "missing.txt"}, true, QString());
    EXPECT_EQ(engine.di().db()->row(1).description, "patched");
    EXPECT_TRUE(tmdb.hasPrefix("Patch file doesn't exist:/"));
    EXPECT_EQ(engine.di().db()->loadedFiles().size(), 2);

    engine.di().loadDatabaseByExtensions("RUN.TM");
    EXPECT_EQ(engine.di().db()->row(1).description, "COUNT reading");
    engine.di().loadDatabaseByExtensions("RUN.TM.fix1");
    EXPECT_EQ(engine.di().db()->row(1).description, "patched");

    // A new decoder replaces the old one of its type.
    engine.di().addDecoder(new UnsignedDecoder);
    EXPECT_TRUE(decode.has("Replaced decoder type 3"));
}

TEST(DataInterpretation, DatabaseByTime) {
    Engine engine(database());
    const QString versions = engine.defs() + "/versions";
    QDir().mkpath(versions);
    DbFile().row(tomRow(1, "V2019", {})).write(engine.dir, "TMDef/versions/DB_20190101.txt");
    DbFile().row(tomRow(1, "V2021", {})).write(engine.dir, "TMDef/versions/DB_20210601.txt");
    const auto when = [](int y) {
        return QDateTime(QDate(y, 1, 1), QTime(0, 0), QTimeZone::utc());
    };
    EXPECT_EQ(engine.di().findDatabaseByTime(when(2020), "", "DB_", ".txt"),
              versions + "/DB_20190101.txt");
    EXPECT_EQ(engine.di().findDatabaseByTime(when(2022), "", "DB_", ".txt"),
              versions + "/DB_20210601.txt");
    EXPECT_EQ(engine.di().findDatabaseByTime(when(2018), "", "DB_", ".txt"), "");
    ASSERT_TRUE(engine.di().loadDatabaseByTime(when(2020), versions, "DB_", ".txt"));
    EXPECT_EQ(engine.di().db()->row(1).signal_name, "V2019");
}

TEST(DataInterpretation, OffsetsShiftForAnotherHeader) {
    Engine engine(database());
    engine.di().updatePktOffsets(-2);
    EXPECT_EQ(engine.di().db()->row(1).pkt_offsets, std::vector<uint32_t>{7});
    EXPECT_EQ(engine.di().db()->row(8).decode_id[0], 7u);
    EXPECT_EQ(engine.di().db()->row(1).decode_id[0], 9u);  // only type 2 moves decode_id[0]
}

TEST(CurrentValueTable, TracksValuesHistoriesAndState) {
    Engine engine(database());
    CurrentValueTable cvt(engine.di());
    cvt.track(1, true, 3);
    cvt.track(2);
    EXPECT_THROW(cvt.track(404), std::out_of_range);
    EXPECT_FALSE(cvt.hasValue(1));
    bool ok = true;
    EXPECT_EQ(cvt.value(1, Gse::ValueMode::Raw, &ok), 0.0);
    EXPECT_FALSE(ok);

    // Counters 1..4 one second apart: the history keeps the last three.
    for (uint32_t i = 1; i <= 4; ++i) {
        cvt.update(tom(22, {0, 0, uint8_t(i), 1}, 10 + i));
    }
    EXPECT_DOUBLE_EQ(cvt.value(1, Gse::ValueMode::Raw, &ok), 4);
    EXPECT_TRUE(ok);
    EXPECT_DOUBLE_EQ(cvt.value(2, Gse::ValueMode::Raw, &ok), 1);
    const ORLA::History h = cvt.history(1);
    EXPECT_EQ(h.count(), 3u);
    EXPECT_DOUBLE_EQ(h.mean(), 30);  // science values 20, 30, 40
    EXPECT_DOUBLE_EQ(h.rate(), 10);
    EXPECT_EQ(cvt.apids(), QList<int>({22}));
    EXPECT_EQ(cvt.historyMnemonicIds(), QList<int>({1}));

    // The history decoders read the statistics of their row's data ID (here 1: 20, 30, 40).
    TmDatabaseRow historyRow = engine.di().db()->row(9);
    historyRow.data_id = 1;
    const auto now = tom(22, {0}, 99);
    struct Stat {
        std::shared_ptr<Decoder> decoder;
        double value;
    };
    for (const Stat& s : {Stat{std::make_shared<HistoryMaxDecoder>(), 40},
                          Stat{std::make_shared<HistoryAvgDecoder>(), 30},
                          Stat{std::make_shared<HistoryMinDecoder>(), 20},
                          Stat{std::make_shared<HistoryRateDecoder>(), 10},
                          Stat{std::make_shared<HistorySumDecoder>(), 90},
                          Stat{std::make_shared<HistorySumOfSquaresDecoder>(), 200}}) {
        DataItems items;
        ASSERT_TRUE(s.decoder->decode(historyRow, now.get(), items, &cvt));
        EXPECT_DOUBLE_EQ(std::get<double>(items[0].value), s.value)
            << s.decoder->name().toStdString();
        EXPECT_DOUBLE_EQ(items[0].unixTime, 1e9 + 99);
        EXPECT_EQ(items[0].relativeTime, 0.0);
    }

    CurrentValueTable restored(engine.di());
    ASSERT_TRUE(restored.restoreState(cvt.saveState(), testutil::secondsResolver()));
    EXPECT_TRUE(restored == cvt);
    EXPECT_DOUBLE_EQ(restored.value(1, Gse::ValueMode::Raw, &ok), 4);
    EXPECT_EQ(restored.history(1).count(), 3u);
    EXPECT_FALSE(restored.restoreState(QByteArray("junk"), nullptr));
    restored.clear();
    EXPECT_TRUE(restored != cvt);
}

TEST(History, WindowsAndStatistics) {
    ORLA::History byCount(1, 3, 0);
    for (double t : {0.0, 1.0, 2.0, 3.0}) {
        byCount.addValue(t, t + 1);
    }
    EXPECT_EQ(byCount.count(), 3u);  // 2, 3, 4: the statistics are checked on the age window
    EXPECT_DOUBLE_EQ(byCount.sum(), 9);

    ORLA::History one(1, 5, 0);
    one.addValue(1, 7);
    EXPECT_TRUE(std::isnan(one.rate()));

    ORLA::History unlimited(1, 0, 0);
    unlimited.addValue(1, 7);
    EXPECT_TRUE(unlimited.null());

    // An age window of 2 s drops samples more than 2 s older than the newest.
    ORLA::History byAge(2, 0, 2.0);
    const double ys[] = {5, 1, 9, 3, 7};
    for (int t = 0; t < 5; ++t) {
        byAge.addValue(t, ys[t]);
    }
    EXPECT_EQ(byAge.count(), 3u);
    EXPECT_DOUBLE_EQ(byAge.mean(), (9 + 3 + 7) / 3.0);
    EXPECT_DOUBLE_EQ(byAge.maximum(), 9);
    EXPECT_DOUBLE_EQ(byAge.minimum(), 3);
    // Slope of (2,9), (3,3), (4,7) by least squares: -1.
    EXPECT_NEAR(byAge.rate(), -1.0, 1e-12);
    EXPECT_NEAR(byAge.sumOfSquares(), 56.0 / 3.0, 1e-9);  // M2 of 9, 3, 7

    ORLA::History copy;
    ASSERT_TRUE(copy.restoreValues(byAge.saveValues()));
    EXPECT_EQ(copy, byAge);
    EXPECT_FALSE(copy.restoreValues("x"));
}
