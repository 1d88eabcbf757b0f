#include <gselib/tmpackettypes.h>

#include "dbtestutil.h"

#include <gtest/gtest.h>

using namespace GseLib;
using testutil::Messages;

namespace {
const TelemetryDatabase* const kNoDatabase = nullptr;
}

namespace {

TelemetryDatabase timeDatabase(const QTemporaryDir& dir) {
    const QString path = testutil::DbFile()
                             .row(testutil::basicRow(1001, "HK", "SCLK"))
                             .row(testutil::basicRow(1002, "", "MET"))
                             .write(dir, "db.txt");
    TelemetryDatabase db;
    testing::internal::CaptureStderr();
    db.load({path}, "/defs/");
    testing::internal::GetCapturedStderr();
    return db;
}

}  // namespace

TEST(PacketTypes, LinesAndTimeMnemonics) {
    QTemporaryDir dir;
    const TelemetryDatabase db = timeDatabase(dir);
    testutil::writeFile(dir.filePath("tm_packet_types.txt"),
                        "# type, name, gse, min, max, time\n"
                        "0x64, HK_FAST, false, 16, 512, 1001\n"
                        "  2,TIME ,true,12,12\n"
                        "3, GSE_NOTE, True, 0, -1, HK:SCLK\n"
                        "4, BARE, false, -1, -1, MET\n"
                        "5, LOST, false, -1, -1, 1234\n"
                        "6, FOUR, false, 10\n"
                        "\n"
                        "0x7FF, FIRST, false, 1, 1\n"
                        "2047, SECOND, false, 2, 2\n");
    Messages apids("apids");
    Messages types("packet_type");
    PacketTypes catalogue;
    ASSERT_TRUE(catalogue.load(dir.filePath("tm_packet_types.txt"), &db));

    const TMPacketTypeInfo hk = catalogue.info(100);
    EXPECT_TRUE(hk.valid);
    EXPECT_EQ(hk.name, "HK_FAST");
    EXPECT_FALSE(hk.isGse);
    EXPECT_EQ(hk.timeItemId, 1001);
    EXPECT_EQ(hk.timeItemName, "SCLK");
    EXPECT_EQ(catalogue.info(2).name, "TIME");  // fields are trimmed
    EXPECT_TRUE(catalogue.info(2).isGse);
    EXPECT_FALSE(catalogue.info(3).isGse);  // only a lower-case "t" means true
    EXPECT_EQ(catalogue.info(3).timeItemId, 1001);
    EXPECT_EQ(catalogue.info(4).timeItemId, 1002);  // bare name looked up as ":MET"
    EXPECT_EQ(catalogue.info(5).timeItemId, -1);
    EXPECT_TRUE(types.has("Packet LOST time mnemonic does not exist: 1234"));
    EXPECT_FALSE(catalogue.contains(6));
    EXPECT_TRUE(apids.has("Bad packet type info: 6, FOUR, false, 10"));
    EXPECT_EQ(catalogue.info(2047).name, "SECOND");  // 0x7FF and 2047 are one entry
    EXPECT_EQ(catalogue.type("HK_FAST"), 100);
    EXPECT_EQ(catalogue.type("hk_fast"), -1);
    EXPECT_EQ(catalogue.info(999).name, "Unknown packet");
}

TEST(PacketTypes, LengthChecks) {
    PacketTypes catalogue;
    catalogue.load(
        QStringList{"1, ANY, false, -1, -1", "2, RANGE, false, 10, 20", "3, NONE, false, 0, -1"},
        kNoDatabase);
    struct Case {
        int type, length;
        bool ok;
    };
    for (const Case& c : {Case{1, 0, true}, Case{1, 100000, true}, Case{2, 10, true},
                          Case{2, 20, true}, Case{2, 9, false}, Case{2, 21, false},
                          Case{3, 0, false}, Case{3, 5, false}, Case{4, 10, false}}) {
        EXPECT_EQ(catalogue.isValidLength(c.type, c.length), c.ok) << c.type << "/" << c.length;
    }
}

TEST(PacketTypes, MissingFileAndDebugText) {
    PacketTypes catalogue;
    Messages apids("apids");
    EXPECT_FALSE(catalogue.load(QStringLiteral("/nonexistent/tm_packet_types.txt"), kNoDatabase));
    EXPECT_TRUE(apids.has("Failed to open: /nonexistent/tm_packet_types.txt"));
    QString text;
    QDebug(&text) << TMPacketTypeInfo("7, NAME, true, 1, 2", kNoDatabase);
    EXPECT_EQ(text.trimmed(),
              "TMPacketTypeInfo(Type:7 name:NAME isGse:true minLength:1 maxLength:2)");
}
