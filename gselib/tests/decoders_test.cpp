#include <gselib/datainterpretation.h>

#include "enginetestutil.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace GseLib;
using testutil::ccsds;
using testutil::DbFile;
using testutil::Engine;
using testutil::with;

namespace {

using Bytes = std::vector<uint8_t>;

// A row on APID 16 (or apid) at packet byte 12 with the cells "COLUMN=value;...", where TYPE
// and IDn stand for DECODE_TYPE and DECODE_IDn.
QMap<QString, QString> row(int id, const char* cells, int apid = 16) {
    QMap<QString, QString> changes = {{"PACKET_TYPE", QString::number(apid)},
                                      {"DECODE_ID1", "12"},
                                      {"DECODE_ID3", "0"},
                                      {"ENG_EQ_TYPE", "0"}};
    for (const QString& cell : QString(cells).split(';'))
        changes[QString(cell.startsWith("ID") || cell.startsWith("TYPE") ? "DECODE_" : "") +
                cell.section('=', 0, 0)] = cell.section('=', 1);
    return with(testutil::basicRow(id, "D", QStringLiteral("R%1").arg(id)), changes);
}

Bytes be64(uint64_t v) {
    Bytes b;
    for (int i = 7; i >= 0; --i)
        b.push_back(uint8_t(v >> (8 * i)));
    return b;
}

struct Expected {
    DataItem::Value value;
    uint32_t offset;
    uint32_t count;
};

struct Case {
    int id;
    const char* cells;
    Bytes data;
    std::vector<Expected> items;
};

std::vector<Case> cases() {
    using U = uint64_t;
    using S = int64_t;
    using T = QByteArray;
    return {
        {1, "TYPE=3", {0x12, 0x34}, {{U(0x1234), 12, 2}}},
        {2, "TYPE=3;ID3=0x0FF0;ID4=4", {0x12, 0x34}, {{U(0x23), 12, 2}}},
        {3, "TYPE=1", {0x12, 0x34}, {{U(0x1234), 12, 2}}},
        {4, "TYPE=4;ID3=0xFFFF", {0xFF, 0xFE}, {{S(-2), 12, 2}}},
        {5, "TYPE=4", {0xFF, 0xFE}, {{S(65534), 12, 2}}},
        {6, "TYPE=4;ID3=0x0FFF", {0x0F, 0xFF}, {{S(-1), 12, 2}}},
        {7, "TYPE=4;ID3=0x0FFF", {0x07, 0xFF}, {{S(2047), 12, 2}}},
        {8, "TYPE=2;ID1=14;ID3=0xFFFF", {0, 0, 0x34, 0x12}, {{U(0x1234), 14, 2}}},
        // A negative shift count (as 32 bits) shifts left.
        {9, "TYPE=2;ID1=14;ID3=0xFF00;ID4=0xFFFFFFF8", {0, 0, 0x34, 0x12}, {{U(0x120000), 14, 2}}},
        {10, "TYPE=5;ID2=4", {0x40, 0x60, 0, 0}, {{3.5, 12, 4}}},
        {11, "TYPE=5;ID2=1:2:3:4", {0, 0, 0x60, 0x40}, {{3.5, 12, 4}}},
        {12, "TYPE=6;ID2=8", {0x3F, 0xF4, 0, 0, 0, 0, 0, 0}, {{1.25, 12, 8}}},
        {13, "TYPE=7;ID2=0", {'A', 'B', 0, 'C'}, {{T("AB"), 12, 2}}},
        {14, "TYPE=7;ID2=0", {0, 'A'}, {{T(), 12, 0}}},
        {15, "TYPE=7;ID2=2:1", {'A', 'B'}, {{T("BA"), 12, 2}}},
        {16, "TYPE=61;ID2=4", {'A', 0, 'B', 'C', 'D'}, {{T("A\0BC", 4), 12, 4}}},
        {17, "TYPE=14", {0, 0, 0, 0x10, 0x80}, {{16.5, 12, 5}}},
        {18, "TYPE=21", be64(1500000000), {{1.5, 12, 8}}},
        {19, "TYPE=8", {0, 0, 1, 0}, {{256.0, 12, 4}}},
        {20, "TYPE=28", {0, 1, 0, 0}, {{256.0, 12, 4}}},
        {21, "TYPE=10", {0, 0, 0, 2, 0x00, 0x07, 0xA1, 0x20}, {{2.5, 12, 8}}},
        {22, "TYPE=12", {3, 0x80, 0}, {{3.5, 12, 3}}},
        // The fourth element would end past the packet: dropped, the others stay.
        {23,
         "TYPE=3;ARRAY_LENGTH=4;SAMPLE_PERIOD=0.5",
         {0, 1, 0, 2, 0, 3},
         {{U(1), 12, 2}, {U(2), 14, 2}, {U(3), 16, 2}}},
        // Too short for the field: nothing.
        {26, "TYPE=9", {0, 0, 0}, {}},
        {27, "TYPE=7;ID2=4", {'A'}, {}},
    };
}

DbFile database() {
    QStringList columns = GseLib::TelemetryDatabase::TMDB_HDR;
    columns << "ARRAY_LENGTH"
            << "SAMPLE_PERIOD";
    DbFile f(columns);
    for (const Case& c : cases()) {
        f.row(row(c.id, c.cells));
    }
    // A time item with a clock on APID 17, which the catalogue names as that packet's time.
    f.row(row(24, "TYPE=9;CLOCK=C", 17));
    f.row(row(25, "TYPE=9;CLOCK=C", 17));
    return f;
}

}  // namespace

TEST(Decoders, EveryGenericTypeOnHandBuiltPackets) {
    Engine engine(database());
    for (const Case& c : cases()) {
        const auto packet = ccsds(16, c.data);
        DataItems items;
        const bool decoded = engine.di().decodePacket(c.id, packet.get(), items, true, nullptr);
        EXPECT_EQ(decoded, !c.items.empty()) << "row " << c.id;
        ASSERT_EQ(items.size(), c.items.size()) << "row " << c.id;
        for (size_t i = 0; i < items.size(); ++i) {
            EXPECT_EQ(items[i].value, c.items[i].value) << "row " << c.id << " item " << i;
            EXPECT_EQ(items[i].byteOffset, c.items[i].offset) << "row " << c.id;
            EXPECT_EQ(items[i].byteCount, c.items[i].count) << "row " << c.id;
        }
    }
}

TEST(Decoders, ElementTimesFollowTheTimeOffsets) {
    Engine engine(database());
    const auto packet = ccsds(16, {0, 1, 0, 2, 0, 3}, 40);
    DataItems items;
    ASSERT_TRUE(engine.di().decodePacket(23, packet.get(), items, true, nullptr));
    ASSERT_EQ(items.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_DOUBLE_EQ(items[i].relativeTime, 40 + 0.5 * i);
        EXPECT_DOUBLE_EQ(items[i].unixTime, 1e9 + 40 + 0.5 * i);
    }
}

TEST(Decoders, PacketTimeItemIsNotTimedByItsOwnPacket) {
    Engine engine(database(), "16, DATA, false, -1, -1\n17, TIMED, false, -1, -1, 24\n",
                  R"({"clocks": [{"name": "C", "epoch": "2000-01-01T00:00:00Z",
                                  "sub_seconds_per_second": 65536}]})");
    const auto packet = ccsds(17, {0, 0, 0, 10, 0x80, 0}, 77);
    const double expected = 946684800.0 + 10.5;
    DataItems own;
    ASSERT_TRUE(engine.di().decodePacket(24, packet.get(), own, true, nullptr));
    EXPECT_DOUBLE_EQ(std::get<double>(own[0].value), expected);
    EXPECT_DOUBLE_EQ(own[0].unixTime, expected);
    EXPECT_EQ(own[0].relativeTime, 0.0);
    DataItems other;
    ASSERT_TRUE(engine.di().decodePacket(25, packet.get(), other, true, nullptr));
    EXPECT_DOUBLE_EQ(std::get<double>(other[0].value), expected);
    EXPECT_DOUBLE_EQ(other[0].unixTime, 1e9 + 77);
    EXPECT_DOUBLE_EQ(other[0].relativeTime, 77);
}

TEST(Decoders, MakersFillTheDecoderTable) {
    Engine engine(database());
    struct Named {
        int type;
        const char* name;
    };
    for (const Named& n : {Named{1, "simple"},   {2, "simple_le"},
                           {3, "unsigned_int"},  {4, "twos_comp"},
                           {5, "ieee754_float"}, {6, "ieee754_double"},
                           {7, "string"},        {8, "TIME40"},
                           {9, "TIME42"},        {10, "TIME44"},
                           {12, "TIME12"},       {14, "TIME41"},
                           {21, "TIMENS"},       {28, "RTIME40"},
                           {51, "history_max"},  {52, "history_avg"},
                           {53, "history_min"},  {54, "history_rate"},
                           {55, "history_sum"},  {56, "history_sum_of_squares"},
                           {61, "bytes"}}) {
        EXPECT_EQ(engine.di().decoderName(n.type), n.name) << n.type;
    }
    for (int type = 100; type <= 112; ++type) {
        EXPECT_NE(engine.di().decoder(type), nullptr) << type;
    }
    EXPECT_EQ(engine.di().decoder(11), nullptr);
    EXPECT_EQ(engine.di().decoderName(11), "");
}
