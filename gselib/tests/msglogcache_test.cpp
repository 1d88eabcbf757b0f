#include <gselib/msglogcache.h>
#include <gselib/telemetryfile.h>

#include "enginetestutil.h"
#include "readertestutil.h"

#include <gtest/gtest.h>

using namespace GseLib;
using namespace testutil;

namespace {

// Messages travel in TOM type 8 (text from byte 8 up to the checksum); type 9 carries a signed
// 16-bit code at byte 8 and a float level at byte 10.
DbFile messageDatabase() {
    DbFile f;
    f.row(messageTextRow())
        .row(with(basicRow(810, "DBG", "CODE"),
                  {{"PACKET_TYPE", "9"}, {"DECODE_TYPE", "4"}, {"DECODE_ID1", "8"}}))
        .row(with(basicRow(811, "DBG", "LEVEL"), {{"PACKET_TYPE", "9"},
                                                  {"DECODE_TYPE", "5"},
                                                  {"DECODE_ID1", "10"},
                                                  {"DECODE_ID2", "4"},
                                                  {"DECODE_ID3", "0"}}));
    return f;
}

Bytes text(const char* s) {
    return Bytes(s, s + std::strlen(s));
}

class MessageLog : public testing::Test {
protected:
    void SetUp() override { TelemetryFile::setSharedCache(new TestCache(TelemetryCache::Tom)); }
    void TearDown() override { TelemetryFile::setSharedCache(nullptr); }

    // Appends packets (raw timestamps 1000, 1001, ...) and lets the shared cache read them.
    void add(std::initializer_list<Bytes> datas, int type = 8) {
        for (const Bytes& d : datas) {
            const Bytes p = tomPacket(type, seq_, 1000 + uint32_t(seq_), d);
            ++seq_;
            file_.write(p, true);
        }
        testing::internal::CaptureStderr();
        if (!opened_) {
            TelemetryFile::setSharedCacheFile(file_.path);
            opened_ = true;
        } else {
            TelemetryFile::updateSharedCache();
        }
        testing::internal::GetCapturedStderr();
    }
    static QStringList texts(const MsgLogCache& log) {
        QStringList out;
        for (const MsgLogLine& l : log.lines())
            out.append(l.text());
        return out;
    }

    Engine engine_{messageDatabase()};
    File file_;
    int seq_ = 0;
    bool opened_ = false;
};

}  // namespace

TEST_F(MessageLog, LinesJoinAcrossPacketsAndKeepTheirFirstPacketsTime) {
    Messages missing("msglog");
    MsgLogCache log;
    EXPECT_TRUE(missing.has("MsgLogCache mnemonic does not exist: MEB:MESSAGE_LOG"));
    ASSERT_EQ(log.mnemonicRows().size(), 1u);

    add({text("boot ok\r\nsecond line\n"),  // 1000: two lines in one packet
         text("partial "),                  // 1001: waits for its continuation
         text("continued\nlast"),           // 1002: ends the first, leaves "last" pending
         text("\rafter cr\n")});            // 1003: the empty piece is dropped, so this continues
    add({Bytes{1, 2, 3}}, 7);               // 1004: not a message packet
    add({text("1234.5: stamped\n"),         // 1005: own time stamp
         text("12:x\n7: one digit\n")});    // 1006: "12" qualifies, "7" does not
    log.refresh();

    EXPECT_EQ(texts(log), (QStringList{"boot ok", "second line", "partial continued",
                                       "lastafter cr", "1234.5: stamped", "12:x", "7: one digit"}));
    const auto& lines = log.lines();
    // The continued line keeps the packet and time of its first part.
    EXPECT_EQ(lines[2].packetIndex(), 1u);
    EXPECT_EQ(lines[2].unixTime(), 1001.0);
    EXPECT_EQ(lines[2].relativeTime(), 1.0);
    EXPECT_EQ(lines[3].packetIndex(), 2u);
    EXPECT_FALSE(log.pending());

    // Stamped lines read their seconds through the packet's clock (whole seconds here).
    EXPECT_TRUE(lines[4].hasOwnTime());
    EXPECT_EQ(lines[4].unixTime(), 1234.0);
    EXPECT_EQ(lines[4].relativeTime(), 234.0);
    EXPECT_EQ(lines[4].msg(), "stamped");
    EXPECT_TRUE(lines[5].hasOwnTime());
    EXPECT_EQ(lines[5].unixTime(), 12.0);
    EXPECT_FALSE(lines[6].hasOwnTime());
    EXPECT_EQ(lines[6].msg(), "7: one digit");
    EXPECT_EQ(lines[6].unixTime(), 1006.0);
}

TEST_F(MessageLog, GrowingFileAndValuesOfOtherTypes) {
    MsgLogCache log;
    testing::internal::CaptureStderr();
    log.setMnemonics({"DBG:CODE", "DBG:LEVEL", "NO:SUCH"});
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(log.mnemonicRows().size(), 3u);

    add({text("first part ")});
    log.refresh();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_TRUE(log.pending());
    const MsgLogLine* first = &log.lines()[0];

    // -5 as 16-bit two's complement, 2.5 as a big-endian float: "-52.500000", appended to the
    // pending line; nothing ends it, so it stays pending.
    add({Bytes{0xFF, 0xFB, 0x40, 0x20, 0x00, 0x00}}, 9);
    add({text("end\n"), text("next\n")});
    for (int i = 0; i < 50; ++i)
        add({text("filler line\n")});
    log.refresh();
    ASSERT_EQ(log.size(), 52u);
    // Lines already handed out stay where they are while the log grows.
    EXPECT_EQ(first, &log.lines()[0]);
    EXPECT_EQ(first->text(), "first part -52.500000end");
    EXPECT_EQ(log.lines()[1].text(), "next");

    log.reload();
    EXPECT_EQ(log.size(), 52u);
    log.resetState();
    EXPECT_EQ(log.size(), 0u);
    EXPECT_FALSE(log.pending());
}

TEST_F(MessageLog, Searches) {
    MsgLogCache log;
    add({text("100: mode SCAN\n"),  // own time 100 -> relative -900
         text("heater on\n"),       // 1001, relative 1
         text("pressure ok\n"),     // 1002, relative 2
         text("valve "),            // 1003, relative 3: joined with the next packet's text
         text("opened\n"),          // 1004 (part of line 3)
         text("heater off\n")});    // 1005, relative 5
    log.refresh();
    ASSERT_EQ(log.size(), 5u);

    struct Case {
        double time;
        const char* expression;
        bool found;
        QString text;
        double relative;
    };
    const Case cases[] = {
        {-1000.0, "^mode SCAN$", true, "100: mode SCAN", -900.0},  // msg() drops the stamp
        {0.0, "heater", true, "heater on", 1.0},
        // A line without its own stamp is also tried joined to the line before it.
        {1.5, "heater", true, "heater onpressure ok", 1.0},
        {3.5, "heater", true, "heater off", 5.0},
        {0.0, "valve opened", true, "valve opened", 3.0},
        {0.0, "ok\\s*$", true, "pressure ok", 2.0},
        {5.5, "heater", false, "", 5.5},  // past the last line: an empty line at the time
    };
    for (const Case& c : cases) {
        bool found = !c.found;
        const MsgLogLine line = log.search(c.time, QRegularExpression(c.expression), &found);
        EXPECT_EQ(found, c.found) << c.expression << " at " << c.time;
        EXPECT_EQ(line.text(), c.text) << c.expression << " at " << c.time;
        EXPECT_EQ(line.relativeTime(), c.relative) << c.expression << " at " << c.time;
    }

    bool found = false;
    EXPECT_EQ(log.search(0u, 5u, QRegularExpression("heater"), &found, false).text(), "heater on");
    EXPECT_TRUE(found);
    EXPECT_EQ(log.search(0u, 5u, QRegularExpression("heater"), &found, true).text(),
              "valve openedheater off");
    EXPECT_EQ(log.search(2u, 2u, QRegularExpression("heater"), &found, false).text(),
              "heater onpressure ok");
    EXPECT_EQ(log.search(3u, 4u, QRegularExpression("heater"), &found, true).text(), "");
    EXPECT_FALSE(found);
    // A line whose text was cut across packets is searched as its joined text.
    EXPECT_TRUE(log.search(3u, 3u, QRegularExpression("valve opened"), &found, false)
                    .text()
                    .startsWith("valve"));
    EXPECT_TRUE(found);
}
