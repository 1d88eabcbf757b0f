#include <k814util/k814util.h>
#include <k814util/tmfile.h>

#include <gselib/telemetryfile.h>
#include <plugins/plugins.h>

#include "enginetestutil.h"
#include "readertestutil.h"

#include <gtest/gtest.h>

#include <QDir>
#include <cmath>

using namespace testutil;

K814_IMPORT_BUILTIN_PLUGINS()

namespace {

Bytes text(const char* s, size_t n) {
    return Bytes(s, s + n);
}

Bytes markerData(uint32_t id) {
    Bytes d = {0,          0, 0, 1, 0, 0, uint8_t(id >> 24), uint8_t(id >> 16), uint8_t(id >> 8),
               uint8_t(id)};
    Bytes label(62, 0);
    std::memcpy(label.data(), "step", 4);
    d.insert(d.end(), label.begin(), label.end());
    return d;
}

// Type 12 carries a signed 16-bit value at byte 8 whose engineering value is its natural log.
DbFile database() {
    DbFile f;
    f.row(with(basicRow(810, "DBG", "LN"), {{"PACKET_TYPE", "12"},
                                            {"DECODE_TYPE", "4"},
                                            {"DECODE_ID1", "8"},
                                            {"ENG_EQ_TYPE", "10"},
                                            {"ENG_K1", "0"},
                                            {"ENG_K2", "1"}}));
    return f;
}

class ScriptFile : public testing::Test {
protected:
    void TearDown() override {
        TelemetryFile::setSharedCache(nullptr);
        k814util::k814utilIsInitialized = false;
    }
    // Writes packets (type, raw timestamp, data) into a directory without tm.meta and binds
    // the shared cache to them.
    QString bind(const QString& dirName, const std::vector<std::tuple<int, uint32_t, Bytes>>& ps) {
        const QString dir = engine_.dir.filePath(dirName);
        QDir().mkpath(dir);
        const QString path = dir + "/run.tlm";
        QFile out(path);
        out.open(QIODevice::WriteOnly);
        int seq = 0;
        for (const auto& [type, ticks, data] : ps) {
            const Bytes b = tomPacket(type, seq++, ticks, data);
            out.write(reinterpret_cast<const char*>(b.data()), qint64(b.size()));
        }
        out.close();
        TelemetryFile::setSharedCache(new TestCache(TelemetryCache::Tom));
        testing::internal::CaptureStderr();
        TelemetryFile::setSharedCacheFile(path.toStdString());
        testing::internal::GetCapturedStderr();
        k814util::k814utilIsInitialized = true;
        return path;
    }
    Engine engine_{database()};
};

}  // namespace

TEST_F(ScriptFile, PacketsValuesMarkersAndMessages) {
    const QString path =
        bind("2012-04-02-12.35.42-12345-testname", {{12, 1000, {0xFF, 0xFB}},  // -5: its log is NaN
                                                    {9, 1005, markerData(42)},
                                                    {12, 1006, {0x00, 0x07}},
                                                    {8, 1007, text("abc\0xyz", 7)},
                                                    {8, 1008, text("whole", 5)}});
    k814util::TMFile f(path.toStdString());
    EXPECT_EQ(f.length(), 5);
    EXPECT_EQ(f.tid(), 12345);
    EXPECT_EQ(f.model(), "unknown");
    EXPECT_EQ(f.directory_string(), "2012-04-02-12.35.42-12345-testname");
    EXPECT_EQ(f.t0_in_sclk(), 1000);
    EXPECT_DOUBLE_EQ(f.t0_in_unix_time(), 1000.0);

    const k814util::TMPacket first = f.get_pkt(0);
    EXPECT_TRUE(first.all_eng_data(810).empty());  // NaN dropped
    ASSERT_EQ(first.all_raw_data(810).size(), 1u);
    EXPECT_EQ(first.all_raw_data(810)[0].value, -5.0);
    EXPECT_EQ(first.marker_id(), 0);  // before the first marker
    EXPECT_EQ(first.quip_marker_index(), 0);
    EXPECT_EQ(first.marker_text(), "");

    const k814util::TMPacket later = f.get_pkt(2);
    ASSERT_EQ(later.all_eng_data(810).size(), 1u);
    EXPECT_DOUBLE_EQ(later.all_eng_data(810)[0].value, std::log(7.0));
    EXPECT_DOUBLE_EQ(later.all_eng_data(810)[0].relative_timestamp, 6.0);
    EXPECT_EQ(later.marker_id(), 42);
    EXPECT_EQ(later.quip_marker_index(), 1);
    EXPECT_EQ(later.marker_text(), "step");
    EXPECT_EQ(f.get_pkt(1).marker_id(), 42);  // a marker packet follows itself

    EXPECT_EQ(f.get_pkt(3).raw_message(), "abc");
    EXPECT_EQ(f.get_pkt(4).raw_message(), "whole");
    EXPECT_EQ(later.raw_message(), "");
    EXPECT_EQ(f.get_pkt(4)._raw_packet().size(), 8u + 5u + 4u);

    EXPECT_THROW(f.get_pkt(-1), std::out_of_range);
    EXPECT_THROW(f.get_pkt(5), std::out_of_range);
}

TEST_F(ScriptFile, DirectoryFromTheDataDirectoryMessageAndTheSignOfTicks) {
    const QString path = bind("plain", {{8, 0x80000010u,
                                         text("Data directory: /data/2013-01-01-00.00.00-54321-x\n"
                                              "more text",
                                              59)}});
    k814util::TMFile f(path.toStdString());
    EXPECT_EQ(f.directory_string(), "2013-01-01-00.00.00-54321-x");
    EXPECT_EQ(f.tid(), 54321);
    EXPECT_EQ(f.t0_in_sclk(), int32_t(0x80000010u));  // ticks of 2^31 and above are negative
    EXPECT_LT(f.t0_in_sclk(), 0);

    k814util::k814utilIsInitialized = false;
    try {
        k814util::TMFile again(path.toStdString());
        FAIL() << "expected an error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("k814util is not initialized", 0), 0u);
    }
}
