#include <gselib/applywhen.h>
#include <gselib/dactable.h>
#include <gselib/discretelabels.h>
#include <gselib/limitchecker.h>
#include <gselib/polytransferfunc.h>

#include "testutil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>

using namespace GseLib;

namespace {

// Raw values of a packet by data ID; IDs not in the map are absent from the packet.
ApplyWhen::RawValueLookup packetValues(std::map<int, double> values) {
    return [values](int id, bool* ok) {
        const auto it = values.find(id);
        *ok = it != values.end();
        return *ok ? it->second : 0.0;
    };
}

std::string text(const ApplyWhen& a) {
    std::ostringstream s;
    s << a;
    return s.str();
}

}  // namespace

TEST(ApplyWhen, Parsing) {
    struct Case {
        const char* cell;
        const char* stored;
        bool warns;
    };
    const Case cases[] = {
        {"", "", false},
        {"120=1;121=0..3", "120=1..1;121=0..3", false},
        {"5=7..3", "5=3..7", false},
        {";;5=-2..-9;", "5=-9..-2", false},
        {"5=x", "5=0..0", true},
        {"x=4", "0=4..4", false},
        {"6=2..y", "6=0..2", true},
        {"7=9223372036854775807", "7=9223372036854775807..9223372036854775807", false},
    };
    for (const Case& c : cases) {
        testutil::Messages log("ApplyWhen");
        EXPECT_EQ(text(ApplyWhen::fromString(c.cell)), c.stored) << c.cell;
        EXPECT_EQ(log.all.isEmpty(), !c.warns) << c.cell;
        EXPECT_EQ(log.hasPrefix("Failed to convert apply when string:"), c.warns) << c.cell;
    }
    EXPECT_EQ(ApplyWhen::fromString("1=2;3=4..5"), ApplyWhen::fromString("1=2..2;3=5..4"));
    EXPECT_NE(ApplyWhen::fromString("1=2"), ApplyWhen::fromString("1=3"));
}

TEST(ApplyWhen, Passes) {
    const ApplyWhen modes = ApplyWhen::fromString("120=1;121=0..3");
    struct Case {
        std::map<int, double> values;
        bool passes;
    };
    const Case cases[] = {
        {{{120, 1}, {121, 3}}, true},
        {{{120, 1}, {121, 3.9}}, true},   // truncated to 3
        {{{120, 1}, {121, -0.5}}, true},  // truncated toward zero to 0
        {{{120, 1}, {121, 4}}, false},
        {{{120, 2}, {121, 0}}, false},
        {{{121, 0}}, false},  // 120 absent from the packet
        {{{120, 1}, {121, std::nan("")}}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(modes.passes(packetValues(c.values)), c.passes);
    }
    EXPECT_TRUE(ApplyWhen().passes(packetValues({})));
}

TEST(DiscreteLabels, LookupFollowsMinOrder) {
    const DiscreteLabels labels =
        DiscreteLabels::fromString("0=OFF;1=ON;2..5=FAULT;-1.5..1.5=NOMINAL");
    ASSERT_EQ(labels.labels().size(), 4u);
    EXPECT_EQ(labels.labels()[0].label(), "NOMINAL");  // sorted by lower bound
    struct Case {
        long long v;
        const char* label;
    };
    // Integer values truncate the double bounds: NOMINAL covers -1..1 and comes first.
    for (const Case& c : {Case{0, "NOMINAL"}, Case{-1, "NOMINAL"}, Case{2, "FAULT"},
                          Case{5, "FAULT"}, Case{6, ""}, Case{-2, ""}}) {
        EXPECT_EQ(labels.label(c.v), c.label) << c.v;
    }
    EXPECT_EQ(labels.label(1.25), "NOMINAL");
    EXPECT_EQ(labels.label(1.75), "");
    EXPECT_EQ(labels.label(4.5), "FAULT");
    EXPECT_EQ(labels.toString(), "-1.5..1.5=NOMINAL;0=OFF;1=ON;2..5=FAULT");

    const DiscreteLabels overlap = DiscreteLabels::fromString("5=FIVE;0..10=LOW");
    EXPECT_EQ(overlap.label(5LL), "LOW");

    const DiscreteLabels half = DiscreteLabels::fromString("2.5=HALF");
    EXPECT_TRUE(half.labels()[0].isDouble());
    EXPECT_EQ(half.label(2.5), "HALF");
    EXPECT_EQ(half.label(2.0), "");
    EXPECT_EQ(half.label(3.0), "");

    const DiscreteLabels equalMins = DiscreteLabels::fromString("3=FIRST;3..4=SECOND");
    EXPECT_EQ(equalMins.label(3LL), "FIRST");
    EXPECT_EQ(equalMins.label(4LL), "SECOND");
}

TEST(DiscreteLabels, DefinitionsThatDoNotParseNeverMatch) {
    for (const char* bad : {"a..b=X", "1..2..3=Y", "=Z", "1..=W", "1e=V"}) {
        const DiscreteLabel l(bad);
        EXPECT_FALSE(l.hasRange()) << bad;
        EXPECT_EQ(l.label(), "") << bad;
        EXPECT_FALSE(l.contains(0LL)) << bad;
        EXPECT_FALSE(l.contains(0.0)) << bad;
    }
    const DiscreteLabel reversed("5..2=R");
    EXPECT_TRUE(reversed.reversed());
    EXPECT_EQ(reversed.minValue(), 2);
    EXPECT_EQ(reversed.maxValue(), 5);
    EXPECT_EQ(reversed.text(), "5..2=R");

    const DiscreteLabel alt("1..3", "", "ALT");
    EXPECT_EQ(alt.label(), "ALT");
    EXPECT_EQ(alt.altLabel(), "ALT");
    EXPECT_EQ(alt.text(), "1..3=ALT");
    EXPECT_EQ(DiscreteLabel("7", "SEVEN", "x").text(), "7=SEVEN");
    EXPECT_EQ(DiscreteLabels::fromString("1=A;2..3=B").toMap(),
              (QMap<QString, QString>{{"1", "A"}, {"2..3", "B"}}));
}

TEST(LimitChecker, TypeCodesAndChecks) {
    auto twice = std::make_shared<PolyTransferFunc>(0.0, 2.0, 0.0);
    auto plusOne = std::make_shared<PolyTransferFunc>(1.0, 1.0, 0.0);
    struct Case {
        const char* name;
        uint64_t type;
        bool sciFromEng;
        double value;
        int expected;
    };
    // Yellow 10, red 20 throughout.
    const Case cases[] = {
        {"raw above, clear", 5, false, 5, 0},
        {"raw above, yellow", 5, false, 15, 1},
        {"raw above, red", 5, false, 25, 3},
        {"disabled", 4, false, 25, 0},
        {"raw below", 1, false, 15, 2},
        {"eng equal", 2 | (2 << 2), false, 5, 1},     // 2 x 5 = 10
        {"eng above", 2 | (1 << 2), false, 11, 3},    // 22
        {"sci direct", 3 | (1 << 2), false, 10, 1},   // 10 + 1 = 11
        {"sci from eng", 3 | (1 << 2), true, 10, 3},  // 2 x 10 + 1 = 21
        {"raw not equal", 1 | (3 << 2), false, 10, 2},
        {"raw not equal NaN", 1 | (3 << 2), false, std::nan(""), 3},
    };
    for (const Case& c : cases) {
        LimitChecker lc;
        lc.setLimitType(c.type);
        lc.setYellowLimit(10);
        lc.setRedLimit(20);
        lc.setConversions(twice, plusOne, c.sciFromEng);
        EXPECT_EQ(lc.checkLimit(c.value), c.expected) << c.name;
    }
    LimitChecker yellowOnly;
    yellowOnly.setLimitType(5);
    yellowOnly.setYellowLimit(10);
    EXPECT_EQ(yellowOnly.checkLimit(100), 1);
    EXPECT_EQ(LimitChecker().checkLimit(1e9), 0);
}

TEST(LimitChecker, EqualityAndText) {
    LimitChecker a;
    a.setLimitType(5);
    a.setYellowLimit(1.0);
    a.setRedLimit(2.0);
    LimitChecker b = a;
    b.setYellowLimit(1.0 + 1e-14);
    EXPECT_EQ(a, b);
    b.setYellowLimit(1.0 + 1e-9);
    EXPECT_NE(a, b);
    std::ostringstream s;
    s << a;
    EXPECT_EQ(s.str().rfind("valid=1 has_yellow=1 has_red=1 type=5 valuemode=0 comparison=1 "
                            "persistence=1",
                            0),
              0u)
        << s.str();
}

TEST(DacTable, RowRanges) {
    struct Case {
        const char* line;
        std::vector<double> valid, invalid;
    };
    const Case cases[] = {
        {"1\t0\tS12\t12\t0xFFF\t1\t0\t1", {-2048, 2047}, {-2049, 2048}},
        {"2\t0\tU12\t12\t0xFFF\t0\t0\t1", {4095}, {4096, -1}},
        // No sign bit in the mask: signed rows then start at 0.
        {"3\t0\tS12M\t12\t0x7FF\t1\t0\t1", {}, {-1}},
        // counts = 10 v + 100 over 0..4095: v in [-10, 399.5].
        {"4\t0\tHV\t12\t4095\t0\t100\t10", {-10, 399.5}, {399.6}},
        // A negative scale swaps the bounds: v in [-409.5, 0].
        {"5\t0\tNEG\t12\t4095\t0\t0\t-10", {-409.5}, {1}},
        {"6\t0\tZERO\t12\t4095\t0\t0\t0", {0}, {1}},
    };
    for (const Case& c : cases) {
        for (double v : c.valid)
            EXPECT_TRUE(DacTableRow(c.line).valid(v)) << c.line << " @ " << v;
        for (double v : c.invalid)
            EXPECT_FALSE(DacTableRow(c.line).valid(v)) << c.line << " @ " << v;
    }
    const DacTableRow row("7\t3\tHV_SET\t12\t0xFFF\t1\t-0.5\t2.0\r\n");
    EXPECT_EQ(row.dacId, 7);
    EXPECT_EQ(row.secondId, 3);
    EXPECT_EQ(row.name, "HV_SET");
    EXPECT_EQ(row.bits, 12);
    EXPECT_EQ(row.mask, 0xFFF);
    EXPECT_TRUE(row.isSigned);
    EXPECT_EQ(row.offset, -0.5);
    EXPECT_EQ(row.scale, 2.0);
    EXPECT_TRUE(row.valid(QString("10")));
    EXPECT_FALSE(row.valid(QString("ten")));

    const DacTableRow junk("x\ty\tNAME\tz\tq\tr\ts\tt");
    EXPECT_EQ(junk.dacId, 0);
    EXPECT_EQ(junk.bits, 0);
    EXPECT_EQ(junk.mask, 0);
    EXPECT_FALSE(junk.isSigned);
    EXPECT_EQ(junk.offset, 0.0);
    EXPECT_EQ(junk.scale, 0.0);
    EXPECT_EQ(junk.name, "NAME");
    EXPECT_EQ(DacTableRow("1\t2").name, "");
}

TEST(DacTable, FileLoading) {
    QTemporaryDir dir;
    const QString path = dir.filePath("TAR_DAC_Conversions.txt");
    testutil::writeFile(path,
                        "# id\tid2\tname\tbits\tmask\tsigned\toffset\tscale\n"
                        "12\t0\tFIL_I\t12\t0xFFF\t0\t0\t40.95\n"
                        "3\t1\tHV\t16\t0xFFFF\t1\t0\t1\n"
                        "\n"
                        "9\t0\tFIL_I\t10\t0x3FF\t0\t0\t1\n");
    DacTable table;
    table.initialize(dir.filePath("missing.txt"));
    EXPECT_EQ(table.size(), 0);
    table.initialize(path);
    EXPECT_EQ(table.size(), 2);
    EXPECT_EQ(table.row("FIL_I").dacId, 9);  // the later row of that name replaces the first
    EXPECT_EQ(table.row("NOPE").name, "");
    EXPECT_EQ(table.allDacIds(), QList<int>({3, 9, 12}));
    EXPECT_EQ(table.name(3), "HV");
    EXPECT_EQ(table.name(99), DacTable::unknown);
    QString dumped;
    QTextStream out(&dumped);
    table.dump(out);
    out.flush();
    EXPECT_EQ(dumped.count('\n'), 2);
    EXPECT_TRUE(dumped.contains("3\t1\tHV\t16\t0xffff\t1\t0\t1\n"));
    table.clear();
    EXPECT_TRUE(table.getNames().isEmpty());
}
