#include <k814util/k814util.h>
#include <k814util/limittable.h>
#include <k814util/limitviolations.h>

#include <gselib/limitchecker.h>
#include <gselib/polytransferfunc.h>
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

// Four 16-bit unsigned values in packets of type 12, at data bytes 0, 2, 4 and 6 (the database
// counts from the packet's first byte, eight before the data).
QMap<QString, QString> limitRow(int id, const QString& name, int offset,
                                const QMap<QString, QString>& limits) {
    return with(with(basicRow(id, "DBG", name),
                     {{"PACKET_TYPE", "12"}, {"DECODE_ID1", QString::number(8 + offset)}}),
                limits);
}

DbFile database() {
    DbFile f;
    // Raw, above (type 1 | 1 << 2): yellow 10, red 20; two violations in a row before a span.
    f.row(limitRow(820, "ABOVE", 0,
                   {{"LIMIT_TYPE_1", "5"},
                    {"YELLOW_LIMIT_1", "10"},
                    {"RED_LIMIT_1", "20"},
                    {"LIMITS", R"({"persistence_1": 2})"}}));
    // Raw, equal (1 | 2 << 2) in set 1: yellow 7, red 9; raw, not equal (1 | 3 << 2) in set 2:
    // yellow 10, no red.
    f.row(limitRow(821, "EQUAL", 2,
                   {{"LIMIT_TYPE_1", "9"},
                    {"YELLOW_LIMIT_1", "7"},
                    {"RED_LIMIT_1", "9"},
                    {"LIMIT_TYPE_2", "13"},
                    {"YELLOW_LIMIT_2", "10"}}));
    // Engineering (2 | 0 << 2), below: eng = 0.5 * raw, yellow 5, red 3.5.
    f.row(limitRow(822, "ENG_BELOW", 4,
                   {{"LIMIT_TYPE_1", "2"},
                    {"YELLOW_LIMIT_1", "5"},
                    {"RED_LIMIT_1", "3.5"},
                    {"ENG_K1", "0"},
                    {"ENG_K2", "0.5"}}));
    // No limits at all.
    f.row(limitRow(823, "PLAIN", 6, {}));
    return f;
}

// The values of 820, 821, 822 and 823 in the packets, one column per packet.
const std::vector<std::array<uint16_t, 4>> VALUES = {
    {10, 7, 20, 1},   // 0: 820 exactly at yellow: not above it
    {12, 7, 20, 1},   // 1
    {25, 1, 8, 1},    // 2: eng 4
    {30, 9, 6, 1},    // 3: eng 3
    {20, 9, 20, 1},   // 4: 820 exactly at red: yellow only
    {5, 7, 20, 1},    // 5
    {15, 10, 20, 1},  // 6: 820 alone: shorter than its persistence
    {5, 10, 20, 1},   // 7
    {11, 10, 20, 1},  // 8
    {12, 10, 20, 1},  // 9
    {13, 10, 20, 1},  // 10: 820 still beyond yellow at the end
};

class LimitReport : public testing::Test {
protected:
    void SetUp() override {
        const QString dir = engine_.dir.filePath("limits");
        QDir().mkpath(dir);
        const QString path = dir + "/run.tlm";
        QFile out(path);
        out.open(QIODevice::WriteOnly);
        int seq = 0;
        for (const auto& v : VALUES) {
            Bytes data;
            for (const uint16_t x : v) {
                data.push_back(uint8_t(x >> 8));
                data.push_back(uint8_t(x));
            }
            const Bytes b = tomPacket(12, seq, 1000 + uint32_t(seq), data);
            ++seq;
            out.write(reinterpret_cast<const char*>(b.data()), qint64(b.size()));
        }
        out.close();
        GseLib::TelemetryFile::setSharedCache(new TestCache(GseLib::TelemetryCache::Tom));
        testing::internal::CaptureStderr();
        GseLib::TelemetryFile::setSharedCacheFile(path.toStdString());
        testing::internal::GetCapturedStderr();
        k814util::k814utilIsInitialized = true;
    }
    void TearDown() override {
        GseLib::TelemetryFile::setSharedCache(nullptr);
        k814util::k814utilIsInitialized = false;
    }
    Engine engine_{database()};
};

// One expected span, worked by hand from VALUES.
struct Expected {
    int id;
    int set;
    int level;
    int first;
    int last;
    double worst;
    int worstAt;
    bool open;
};

void expectSpans(const k814util::LimitViolations& r, const std::vector<Expected>& spans) {
    ASSERT_EQ(r.size(), spans.size());
    for (size_t i = 0; i < spans.size(); ++i) {
        const Expected& e = spans[i];
        SCOPED_TRACE(testing::Message() << "span " << i << " of item " << e.id);
        EXPECT_EQ(r.ids()[i], e.id);
        EXPECT_EQ(r.sets()[i], e.set);
        EXPECT_EQ(r.levels()[i], e.level);
        // Packet k has ticks 1000 + k: relative time k, and it is the k-th packet.
        EXPECT_EQ(r.firstPackets()[i], e.first);
        EXPECT_EQ(r.lastPackets()[i], e.last);
        EXPECT_DOUBLE_EQ(r.startRelative()[i], e.first);
        EXPECT_DOUBLE_EQ(r.endRelative()[i], e.last);
        EXPECT_DOUBLE_EQ(r.startUnix()[i], 1000.0 + e.first);
        EXPECT_DOUBLE_EQ(r.endUnix()[i], 1000.0 + e.last);
        EXPECT_EQ(r.samples()[i], e.last - e.first + 1);
        EXPECT_DOUBLE_EQ(r.worst()[i], e.worst);
        EXPECT_DOUBLE_EQ(r.worstRelative()[i], e.worstAt);
        EXPECT_EQ(r.open()[i], e.open);
    }
}

}  // namespace

TEST_F(LimitReport, PersistenceRedInsideYellowAndTheOpenSpan) {
    const k814util::LimitViolations r({820}, false);
    expectSpans(r, {
                       {820, 1, 1, 1, 4, 30.0, 3, false},  // 12 25 30 20; 10 is at the limit
                       {820, 1, 2, 2, 3, 30.0, 3, false},  // 25 30; 20 is at the limit
                       // 15 at packet 6 violates once, fewer than the persistence of 2
                       {820, 1, 1, 8, 10, 13.0, 10, true},
                   });
    EXPECT_EQ(r.mnemonics()[0], "DBG:ABOVE");
    EXPECT_EQ(r.comparisons()[0], GseLib::LimitChecker::Above);
    EXPECT_EQ(r.valueModes()[0], 0);
    EXPECT_DOUBLE_EQ(r.limits()[0], 10.0);
    EXPECT_DOUBLE_EQ(r.limits()[1], 20.0);
}

TEST_F(LimitReport, EqualAndNotEqualInTheTwoSets) {
    const k814util::LimitViolations r({821}, false);
    expectSpans(r, {
                       {821, 1, 1, 0, 1, 7.0, 0, false},  // equal to yellow 7
                       {821, 2, 1, 0, 5, 1.0, 2, false},  // not 10: 7 7 1 9 9 7, 1 furthest
                       {821, 1, 2, 3, 4, 9.0, 3, false},  // equal to red 9
                       {821, 1, 1, 5, 5, 7.0, 5, false},
                   });
    EXPECT_EQ(r.comparisons()[0], GseLib::LimitChecker::Equal);
    EXPECT_EQ(r.comparisons()[1], GseLib::LimitChecker::NotEqual);
}

TEST_F(LimitReport, EngineeringLimitsCheckRawValuesConverted) {
    // Raw 8 and 6 are 4 and 3 in engineering units: below 5, and 3 below 3.5. No raw value is
    // below either limit, so a check of the unconverted values would find nothing.
    const k814util::LimitViolations r({822}, false);
    expectSpans(r, {
                       {822, 1, 1, 2, 3, 3.0, 3, false},
                       {822, 1, 2, 3, 3, 3.0, 3, false},
                   });
    EXPECT_EQ(r.valueModes()[0], 1);
}

TEST_F(LimitReport, RedOnlyAllItemsAndItemsWithoutLimits) {
    const k814util::LimitViolations red({820, 821, 822}, true);
    expectSpans(red, {
                         {820, 1, 2, 2, 3, 30.0, 3, false},
                         {821, 1, 2, 3, 4, 9.0, 3, false},
                         {822, 1, 2, 3, 3, 3.0, 3, false},
                     });
    EXPECT_EQ(k814util::LimitViolations({823}, false).size(), 0u);
    // All items: the three with limits, in id order.
    const k814util::LimitViolations all({}, false);
    EXPECT_EQ(all.size(), 3u + 4u + 2u);
    EXPECT_EQ(all.ids().front(), 820);
    EXPECT_EQ(all.ids().back(), 822);
    EXPECT_THROW(k814util::LimitViolations({12345}, false), std::invalid_argument);
}

TEST_F(LimitReport, TableOfTheItemsWithLimits) {
    const k814util::LimitTable t;
    ASSERT_EQ(t.ids(), (std::vector<int>{820, 821, 822}));
    EXPECT_EQ(t.mnemonics()[1], "DBG:EQUAL");
    EXPECT_EQ(t.subsystems()[1], "DBG");
    EXPECT_EQ(t.units()[1], "V");
    EXPECT_EQ(t.set(1).valueMode, (std::vector<int>{0, 0, 1}));
    EXPECT_EQ(t.set(1).comparison, (std::vector<int>{1, 2, 0}));
    EXPECT_EQ(t.set(1).yellow, (std::vector<double>{10.0, 7.0, 5.0}));
    EXPECT_EQ(t.set(1).red, (std::vector<double>{20.0, 9.0, 3.5}));
    EXPECT_EQ(t.set(1).persistence, (std::vector<int>{2, 1, 1}));
    EXPECT_EQ(t.set(2).valueMode, (std::vector<int>{-1, 0, -1}));
    EXPECT_EQ(t.set(2).comparison[1], 3);
    EXPECT_DOUBLE_EQ(t.set(2).yellow[1], 10.0);
    EXPECT_TRUE(std::isnan(t.set(2).red[1]));
}

TEST(LimitCheckerConversion, ModesWithoutTheirTransferFunctionCannotConvert) {
    GseLib::LimitChecker c;
    c.setLimitType(2 | (1 << 2));  // engineering, above
    c.setYellowLimit(10.0);
    EXPECT_FALSE(c.canConvert());
    const auto half = std::make_shared<PolyTransferFunc>(0.0, 0.5, 0.0);
    c.setConversions(half, nullptr, false);
    EXPECT_TRUE(c.canConvert());
    EXPECT_DOUBLE_EQ(c.convert(30.0), 15.0);
    EXPECT_EQ(c.checkLimit(30.0), 1);
    EXPECT_EQ(c.checkLimit(20.0), 0);  // 10 exactly at the limit
    c.setLimitType(3 | (1 << 2));      // science, which the checker has no function for
    EXPECT_FALSE(c.canConvert());
    c.setLimitType(1 | (1 << 2));  // raw needs none
    EXPECT_TRUE(c.canConvert());
}
