#include <gselib/msglogcache.h>
#include <gselib/telemetryfile.h>
#include <tarnlib/markercache.h>
#include <tarnlib/metamarkercache.h>
#include <tarnlib/metamarkerrules.h>

#include "enginetestutil.h"
#include "readertestutil.h"

#include <gtest/gtest.h>

#include <QDir>
#include <map>
#include <string>
#include <utility>
#include <vector>

using namespace TarGse;
using namespace testutil;

namespace {

Bytes text(const char* s) {
    return Bytes(s, s + std::strlen(s));
}

// A TARN marker packet's data: mission seconds, fraction, id and 62 bytes of text.
Bytes markerData(uint32_t id, const char* label, uint32_t secs = 0x01020304) {
    Bytes d = {
        uint8_t(secs >> 24), uint8_t(secs >> 16), uint8_t(secs >> 8), uint8_t(secs), 0x80, 0x00,
        uint8_t(id >> 24),   uint8_t(id >> 16),   uint8_t(id >> 8),   uint8_t(id)};
    Bytes t(62, 0);
    std::memcpy(t.data(), label, std::strlen(label));
    d.insert(d.end(), t.begin(), t.end());
    return d;
}

struct Pkt {
    uint32_t t;  // relative seconds: raw timestamp 1000 + t
    int type;
    Bytes data;
};

class TarnFile : public testing::Test {
protected:
    void TearDown() override { TelemetryFile::setSharedCache(nullptr); }

    void bind(const std::vector<Pkt>& packets) {
        const QString dir = engine_.dir.filePath("data/2012-04-02-12.35.42-12345-testname");
        QDir().mkpath(dir);
        path_ = (dir + "/run.tlm").toStdString();
        QFile out(QString::fromStdString(path_));
        out.open(QIODevice::WriteOnly);
        int seq = 0;
        for (const Pkt& p : packets) {
            const Bytes b = tomPacket(p.type, seq++, 1000 + p.t, p.data);
            out.write(reinterpret_cast<const char*>(b.data()), qint64(b.size()));
        }
        out.close();
        TelemetryFile::setSharedCache(new TestCache(TelemetryCache::Tom));
        testing::internal::CaptureStderr();
        TelemetryFile::setSharedCacheFile(path_);
        testing::internal::GetCapturedStderr();
        GseLib::MsgLogCache::getInstance().resetState();
    }
    void rules(const QString& name, const QByteArray& json) {
        const QString folder = engine_.dir.filePath("gse/MetaMarkerRules");
        QDir().mkpath(folder);
        writeFile(folder + "/" + name, json);
    }

    Engine engine_{DbFile().row(messageTextRow())};  // messages: type 8, text from byte 8
    std::string path_;
};

QByteArray rule(int id, const char* tids, const QByteArray& start, const QByteArray& end) {
    return QStringLiteral(
               "{\"tids\": \"%1\", \"meta_marker_id\": %2, \"meta_marker_text\": "
               "\"rule %2\", \"start_conditions\": [%3], \"end_conditions\": [%4]}")
        .arg(tids)
        .arg(id)
        .arg(start, end)
        .toUtf8();
}

QByteArray ruleFile(std::initializer_list<QByteArray> rules) {
    QByteArray out = "{\"meta_markers\": [";
    bool first = true;
    for (const QByteArray& r : rules) {
        out += (first ? "" : ", ") + r;
        first = false;
    }
    return out + "]}";
}

}  // namespace

TEST(MetaMarkerRules, ValidationAndItsDiagnostics) {
    const QByteArray good = rule(50001, "1-5, 9", R"({"type": "marker", "marker": 7,
        "offset_in_seconds": 0, "seb_test_enabled": true})",
                                 R"({"type": "next_marker"})");
    struct Case {
        const char* what;
        QByteArray json;
        const char* diagnostic;  // empty for a valid file
    };
    const Case cases[] = {
        {"valid", ruleFile({good}), ""},
        {"not JSON", "{", " Failed to parse "},
        {"no root key", "{\"rules\": []}", " as its root key."},
        {"root not an array", "{\"meta_markers\": {}}", " as an array."},
        {"element not an object", "{\"meta_markers\": [3]}",
         " does not have a JSON object for the element at index 0"},
        {"tids not a string", ruleFile({good, QByteArray(good).replace("\"1-5, 9\"", "15")}),
         " does not have a string for the 'tids' element at index 1"},
        {"bad tid piece", ruleFile({QByteArray(good).replace("1-5, 9", "1-5,x")}),
         " contains invalid TID specifier: 1-5,x"},
        {"three-part range passes", ruleFile({QByteArray(good).replace("1-5, 9", "100-105-110")}),
         ""},
        {"id below the range", ruleFile({QByteArray(good).replace("50001", "49999")}),
         " is not in the range [50000, 99999]"},
        {"id above the range", ruleFile({QByteArray(good).replace("50001", "100000")}),
         " is not in the range [50000, 99999]"},
        {"id not a number", ruleFile({QByteArray(good).replace("id\": 50001", "id\": \"x\"")}),
         " contains invalid or missing meta_marker_id."},
        // Ids are whole numbers: a fraction would be read as id 0 (found by fuzzing).
        {"id with a fraction", ruleFile({QByteArray(good).replace("50001", "50001.5")}),
         " contains invalid or missing meta_marker_id."},
        {"marker id with a fraction",
         ruleFile({QByteArray(good).replace("\"marker\": 7", "\"marker\": 7.5")}),
         " does not have valid start_condition at index 0"},
        {"negative marker id",
         ruleFile({QByteArray(good).replace("\"marker\": 7", "\"marker\": -7")}),
         " does not have valid start_condition at index 0"},
        {"no text", ruleFile({QByteArray(good).replace("meta_marker_text", "label")}),
         " contains invalid or missing meta_marker_text. "},
        {"start not an array",
         ruleFile({rule(50001, "1", "x", "{\"type\": \"next_marker\"}").replace("[x]", "{}")}),
         " does not have start_conditions as an array. "},
        {"invalid trigger", ruleFile({rule(50001, "1", R"({"type": "marker", "marker": 7})", "")}),
         " does not have valid start_condition at index 0"},
        {"duration cannot start",
         ruleFile({rule(50001, "1", R"({"type": "duration", "number_of_seconds": 5})", "")}),
         " meta marker rule start_condition at index 0 contains invalid trigger type: duration"},
        {"unknown end type",
         ruleFile({rule(50001, "1", R"({"type": "marker", "marker": 7, "offset_in_seconds": 0})",
                        R"({"type": "sunset"})")}),
         " does not have valid end_condition at index 0"},
        {"state key not a boolean", ruleFile({QByteArray(good).replace("true", "1")}),
         " does not have valid start_condition at index 0"},
        {"message without case_sensitive",
         ruleFile({rule(50001, "1", R"({"type": "message", "regex": "x", "offset_in_seconds": 0})",
                        "")}),
         " does not have valid start_condition at index 0"},
    };
    QTemporaryDir dir;
    for (const Case& c : cases) {
        const QString path = dir.filePath("rules.json");
        writeFile(path, c.json);
        testing::internal::CaptureStderr();
        const bool valid = isValidMetamarkerRuleFile(QFileInfo(path));
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(valid, std::string(c.diagnostic).empty()) << c.what << ": " << err;
        if (valid) {
            EXPECT_EQ(err, "") << c.what;
        } else {
            EXPECT_NE(err.find(c.diagnostic), std::string::npos) << c.what << ": " << err;
            EXPECT_EQ(err.rfind("isValid", 0), 0u) << c.what << ": " << err;
        }
    }
    testing::internal::CaptureStderr();
    EXPECT_FALSE(isValidMetamarkerRuleFile(QFileInfo(dir.filePath("absent.json"))));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Could not open "), std::string::npos);
}

TEST(MetaMarkerRules, TidCoverage) {
    struct Case {
        const char* tids;
        int tid;
        bool covered;
    };
    const Case cases[] = {
        {"100-105,110", 100, true},  {"100-105,110", 103, true},  {"100-105,110", 105, true},
        {"100-105,110", 106, false}, {"100-105,110", 110, true},  {"100-105,110", 99, false},
        {"100-105-110", 100, false}, {"100-105-110", 105, false}, {" 7 , 9 - 12 ", 10, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(tidsCover(c.tids, c.tid), c.covered) << c.tids << " " << c.tid;
    }
    EXPECT_EQ(getQuipUmkid(12345, 3, 7), 7 + 300000 + 123450000000000LL);
}

TEST_F(TarnFile, PrecedingMarkers) {
    bind({{0, 22, Bytes(4, 0)},
          {10, 9, markerData(7, "start A")},
          {20, 9, markerData(0, "")},
          {25, 22, Bytes(4, 0)},
          {15, 9, markerData(5, "late but earlier")},  // out of time order in the file
          {40, 9, markerData(8, "Stop A")}});
    TelemetryFile file;
    MarkerCache cache(&file);
    cache.reload();
    ASSERT_EQ(cache.markers().size(), 4);
    // Kept in time order; marker indexes keep the file order.
    EXPECT_EQ(cache.markers()[1].markerId, 5u);
    EXPECT_EQ(cache.markers()[1].markerIndex, 2u);
    EXPECT_EQ(cache.markers()[0].seconds, 0x01020304u);
    EXPECT_EQ(cache.markers()[0].subseconds, 0x8000);
    EXPECT_STREQ(cache.markers()[0].text, "start A");
    EXPECT_EQ(cache.nonZeroMarkers().size(), 3);

    struct Case {
        double t;
        bool skipZero;
        bool found;
        uint32_t id;
    };
    const Case cases[] = {
        {5.0, false, false, 0},         {10.0 - 4e-6, false, true, 7},  // within the tolerance
        {10.0 - 2e-5, false, false, 0}, {17.0, false, true, 5},
        {22.0, false, true, 0},         {22.0, true, true, 5},  // the id-0 marker skipped
        {100.0, false, true, 8},
    };
    for (const Case& c : cases) {
        bool found = !c.found;
        const MarkerData m = cache.getMarker(c.t, &found, c.skipZero);
        EXPECT_EQ(found, c.found) << c.t;
        EXPECT_EQ(m.markerId, c.id) << c.t;
    }
    bool found = false;
    EXPECT_EQ(cache.getMarker(3u, &found, false).markerId, 0u);  // packet at 25 s: the id-0 one
    EXPECT_TRUE(found);
    EXPECT_EQ(cache.getMarker(1u, &found, false).markerId, 7u);  // the marker packet itself

    EXPECT_EQ(cache.matchingMarkers(7).size(), 1);
    EXPECT_EQ(cache.matchingMarkers("a", false).size(), 3);  // "start A", "late", "Stop A"
    EXPECT_EQ(cache.matchingMarkers("A", true).size(), 2);
    EXPECT_EQ(cache.matchingMarkers(1u, 2u).size(), 2);
    EXPECT_EQ(cache.matchingMarkers(12.0, 40.0).size(), 3);
}

TEST_F(TarnFile, MetaMarkersFromEveryKindOfTrigger) {
    const char* marker7seb = R"({"type": "marker", "marker": 7, "offset_in_seconds": 0,
                                 "seb_test_enabled": true})";
    rules(
        "a_rules.json",
        ruleFile({rule(50001, "12340-12350", marker7seb,
                       R"({"type": "marker", "marker": 8, "offset_in_seconds": 2})"),
                  rule(50002, "12345", R"({"type": "marker", "marker": 7, "offset_in_seconds": 0})",
                       R"({"type": "next_marker"})"),
                  rule(50003, "1,12345", R"({"type": "message", "regex": "VALVE opened",
                                              "case_sensitive": false, "offset_in_seconds": 1})",
                       R"({"type": "duration", "number_of_seconds": -5})"),
                  rule(50004, "12345", R"({"type": "marker", "marker": 8, "offset_in_seconds": 0})",
                       R"({"type": "duration", "number_of_seconds": 100})"),
                  rule(50007, "12345",
                       R"({"type": "marker", "marker": 3000000000, "offset_in_seconds": 0})",
                       R"({"type": "marker", "marker": 99, "offset_in_seconds": 0})")}));
    bind({{0, 22, Bytes(4, 0)},
          {5, 8, text("SEB Test = 1\n")},
          {10, 9, markerData(7, "start A")},
          {20, 9, markerData(0, "")},
          {30, 8, text("boot\nvalve OPENED at 30\n")},
          {40, 9, markerData(8, "stop A")},
          {50, 8, text("SEB Test = 0\n")},
          {60, 9, markerData(7, "start A again")},
          {70, 9, markerData(3000000000u, "")}});  // an id beyond int

    // Rules of other tests, duplicate ids and files that fail validation are left out as the
    // sample's rules show (test_tarn.py, and the console's report in test_module.py).
    MetaMarkerCache cache;
    cache.resetState();
    EXPECT_EQ(cache.generatorCount(), 5u);
    cache.refresh();

    struct Want {
        int id;
        double start;
        double end;
    };
    // 50001 needs the SEB test on: it opens at 10 s but not at 60 s (the test was switched off
    // at 50 s). 50003 starts at the message's time + 1 and reaches back 5 s. 50007 never
    // closes: it lasts to the end of the data (and read as an int its marker would be 0, which
    // the packet at 20 s carries).
    const std::vector<Want> want = {{50001, 10, 42}, {50002, 10, 20},  {50002, 60, 70},
                                    {50003, 26, 31}, {50004, 40, 140}, {50007, 70, 70}};
    const QList<MetaMarker> all = cache.getMetaMarkers();
    ASSERT_EQ(all.size(), qsizetype(want.size()));
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(all[qsizetype(i)].metaMarkerId, want[i].id) << i;
        EXPECT_DOUBLE_EQ(all[qsizetype(i)].startRelativeTimeInSecs, want[i].start) << i;
        EXPECT_DOUBLE_EQ(all[qsizetype(i)].endRelativeTimeInSecs, want[i].end) << i;
        EXPECT_EQ(all[qsizetype(i)].index, int(i));
    }
    EXPECT_EQ(all[0].msg, "rule 50001");

    auto ids = [&](double t) {
        std::vector<std::pair<int, int>> out;
        for (const MetaMarker& m : cache.getMetaMarkers(t))
            out.emplace_back(m.metaMarkerId, m.index);
        return out;
    };
    EXPECT_EQ(ids(35.0), (std::vector<std::pair<int, int>>{{50001, 0}}));
    EXPECT_EQ(ids(65.0), (std::vector<std::pair<int, int>>{{50002, 2}, {50004, 4}}));
    EXPECT_TRUE(ids(-1.0).empty());

    cache.refresh();  // nothing new: nothing changes
    EXPECT_EQ(cache.getMetaMarkers().size(), all.size());
    testing::internal::CaptureStderr();
    cache.reload();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(cache.getMetaMarkers().size(), all.size());
}

// Every test-state key of a "marker" trigger, required on and required off. The states change
// twice, and whenever the tested one changes every other test takes the opposite state, so a
// generator that ignores a key, reads another test's state or drops "false" conditions opens at
// the wrong markers. An end trigger's keys decide nothing: the end marker closes the meta-marker
// whatever the states.
TEST_F(TarnFile, TestStateKeysDecideWhereMarkersStartButNotWhereTheyEnd) {
    struct StateKey {
        const char* key;
        const char* logText;  // what the message log says when the test is switched
    };
    const StateKey keys[] = {
        {"seb_test_enabled", "SEB Test"},        {"high_voltage_test_enabled", "High Voltage Test"},
        {"laser_ebt_test_enabled", "Laser EBT"}, {"gc_ebt_test_enabled", "GC EBT"},
        {"heater_test_enabled", "Heater Test"},
    };
    // From second t on, one message per test, the tested one switched to on and every other one
    // to the opposite. Each line is stamped with its time as the instrument sends it (a line
    // without a stamp is also read joined to the line before, which would hold two "=").
    auto switchAt = [&](uint32_t t, const StateKey& tested, bool on, std::vector<Pkt>* out) {
        for (const StateKey& k : keys) {
            const bool state = &k == &tested ? on : !on;
            const std::string text =
                std::to_string(1000 + t) + ".0: " + k.logText + " = " + (state ? "1" : "0") + "\n";
            out->push_back({t++, 8, Bytes(text.begin(), text.end())});
        }
    };
    auto markerWith = [](int id, const char* key, bool value) {
        return QStringLiteral(
                   R"({"type": "marker", "marker": %1, "offset_in_seconds": 0, "%2": %3})")
            .arg(QString::number(id), QLatin1String(key), QLatin1String(value ? "true" : "false"))
            .toUtf8();
    };
    using Spans = std::vector<std::pair<double, double>>;
    for (const StateKey& k : keys) {
        SCOPED_TRACE(k.key);
        const QByteArray lasts5 = R"({"type": "duration", "number_of_seconds": 5})";
        const QByteArray plain7 = R"({"type": "marker", "marker": 7, "offset_in_seconds": 0})";
        rules("state_rules.json",
              ruleFile({rule(50001, "12345", markerWith(7, k.key, true), lasts5),
                        rule(50002, "12345", markerWith(7, k.key, false), lasts5),
                        rule(50003, "12345", plain7, markerWith(8, k.key, true)),
                        rule(50004, "12345", plain7, markerWith(8, k.key, false))}));
        std::vector<Pkt> packets = {{0, 22, Bytes(4, 0)},
                                    {2, 9, markerData(7, "")},  // nothing announced: all off
                                    {3, 9, markerData(8, "")}};
        switchAt(4, k, true, &packets);  // 4 to 8 s
        packets.push_back({10, 9, markerData(7, "")});
        packets.push_back({12, 9, markerData(8, "")});
        switchAt(20, k, false, &packets);  // 20 to 24 s
        packets.push_back({30, 9, markerData(7, "")});
        packets.push_back({32, 9, markerData(8, "")});
        packets.push_back({40, 22, Bytes(4, 0)});
        bind(packets);
        MetaMarkerCache cache;
        cache.resetState();
        ASSERT_EQ(cache.generatorCount(), 4u);
        cache.refresh();
        std::map<int, Spans> got;
        for (const MetaMarker& m : cache.getMetaMarkers())
            got[m.metaMarkerId].emplace_back(m.startRelativeTimeInSecs, m.endRelativeTimeInSecs);
        const std::map<int, Spans> want = {
            {50001, {{10, 15}}},          // on between 4 s and 20 s
            {50002, {{2, 7}, {30, 35}}},  // off before and after
            {50003, {{2, 3}, {10, 12}, {30, 32}}},
            {50004, {{2, 3}, {10, 12}, {30, 32}}},
        };
        EXPECT_EQ(got, want);
    }
}
