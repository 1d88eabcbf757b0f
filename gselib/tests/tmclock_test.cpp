#include <gselib/tmclock.h>

#include <gtest/gtest.h>

#include <QJsonDocument>

using namespace GseLib;

TEST(TMClock, ReadingsToUnixTime) {
    struct Case {
        const char* name;
        const char* json;
        long long seconds, sub, perSec;
        double expected;
    };
    const Case cases[] = {
        {"epoch 2000, decoder denominator", R"({"epoch": "2000-01-01T00:00:00Z"})", 0, 5, 10,
         946684800.5},
        {"clock denominator wins",
         R"({"epoch": "2000-01-01T00:00:00Z", "sub_seconds_per_second": 65536})", 0, 32768, 256,
         946684800.5},
        {"no denominator ignores sub-seconds", R"({"epoch": "2000-01-01T00:00:00Z"})", 10, 7, 0,
         946684810.0},
        {"initial leap offset subtracted",
         R"({"epoch": "1980-01-06T00:00:00", "leap_seconds_offset": 19})", 1000, 0, 0,
         315964800.0 + 1000 - 19},
        // A zone designator does not move the fields: this epoch is 2000-01-01T00:00:00Z too.
        {"zone designator ignored", R"({"epoch": "2000-01-01T00:00:00+05:00"})", 1, 0, 0,
         946684801.0},
        {"no epoch: Unix seconds", R"({"name": "raw"})", 1234567890, 1, 4, 1234567890.25},
        {"not json: default clock", "epoch: 2000", 42, 1, 2, 42.5},
    };
    for (const Case& c : cases) {
        const TMClock clock{QString(c.json)};
        EXPECT_DOUBLE_EQ(clock.toUnixTime(c.seconds, c.sub, c.perSec), c.expected) << c.name;
    }
}

TEST(TMClock, LeapSecondLookup) {
    TMClock clock;
    clock.setLeapSecondsTable({TMClock::LeapSecond("2017-01-01T00:00:00Z", 1),
                               TMClock::LeapSecond("2015-07-01T00:00:00Z", 2)});
    const qint64 k2015 = 1435708800;  // 2015-07-01T00:00:00Z
    const qint64 k2017 = 1483228800;  // 2017-01-01T00:00:00Z
    ASSERT_EQ(clock.leapSecondOffsets().size(), 2);
    EXPECT_EQ(clock.leapSecondOffsets()[0], (TMClock::LeapSecondOffset{k2015, 2}));
    EXPECT_EQ(clock.leapSecondOffsets()[1], (TMClock::LeapSecondOffset{k2017, 3}));

    struct Case {
        qint64 t;
        double expected;
    };
    const Case cases[] = {
        {k2015 - 1, double(k2015 - 1)},  // before every entry: unchanged
        {k2015, double(k2015 - 1)},      // K - 2 would land over a second early: one back
        {k2015 + 1, double(k2015 - 1)},
        {k2015 + 2, double(k2015)},
        {k2015 + 1000, double(k2015 + 998)},
        {k2017, double(k2017 - 2)},  // cumulative 3, one second given back
        {k2017 + 3, double(k2017)},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(clock.toUnixTime(c.t, 0, 0), c.expected) << c.t;
    }

    // One leap-second entry {K, 3} and t = K gives K - 2.
    TMClock single;
    single.setLeapSecondsTable(
        {TMClock::LeapSecond(QDateTime::fromSecsSinceEpoch(k2017, Qt::UTC), 3)});
    EXPECT_DOUBLE_EQ(single.toUnixTime(k2017, 0, 0), double(k2017 - 2));
}

TEST(TMClock, OutOfOrderTableEqualsSortedTable) {
    TMClock a;
    TMClock b;
    a.setLeapSecondsTable({TMClock::LeapSecond("2012-07-01T00:00:00Z", 1),
                           TMClock::LeapSecond("2009-01-01T00:00:00Z", 1),
                           TMClock::LeapSecond("2015-07-01T00:00:00Z", 1)});
    b.setLeapSecondsTable({TMClock::LeapSecond("2009-01-01T00:00:00Z", 1),
                           TMClock::LeapSecond("2012-07-01T00:00:00Z", 1),
                           TMClock::LeapSecond("2015-07-01T00:00:00Z", 1)});
    EXPECT_EQ(a.leapSecondOffsets(), b.leapSecondOffsets());
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.leapSecondOffsets().last().cumulative, 3);
    b.setName("other");
    EXPECT_NE(a, b);

    // Absurd entries (a typo in the clocks file, found by fuzzing) do not overflow: the running
    // total is exact, and a total beyond 32 bits is stored as the limit.
    TMClock c;
    c.setLeapSecondsTable({TMClock::LeapSecond("2009-01-01T00:00:00Z", 2147483647),
                           TMClock::LeapSecond("2012-07-01T00:00:00Z", 2147483647),
                           TMClock::LeapSecond("2015-07-01T00:00:00Z", -2147483647),
                           TMClock::LeapSecond("2017-01-01T00:00:00Z", -5)});
    QList<qint32> totals;
    for (const TMClock::LeapSecondOffset& o : c.leapSecondOffsets()) {
        totals.append(o.cumulative);
    }
    EXPECT_EQ(totals, (QList<qint32>{2147483647, 2147483647, 2147483647, 2147483642}));
}

TEST(TMClock, JsonFieldsAndRoundTrip) {
    const TMClock clock{QString(R"({"name": "SCLK", "epoch": "2010-01-01T00:00:00Z",
        "leap_seconds_offset": 34, "sub_seconds_per_second": 256,
        "leap_seconds": [{"datetime": "2012-07-01T00:00:00Z", "seconds": 1},
                         {"datetime": "2015-07-01T00:00:00Z", "seconds": 1}]})")};
    EXPECT_EQ(clock.name(), "SCLK");
    EXPECT_EQ(clock.epochOffset(), 1262304000);
    EXPECT_EQ(clock.initialLeapSecondsOffset(), 34);
    EXPECT_EQ(clock.subSecsPerSec(), 256);
    EXPECT_EQ(clock.leapSeconds().size(), 2);

    const TMClock again(clock.toJson());
    EXPECT_EQ(again, clock);
    EXPECT_TRUE(clock.toJson().value("epoch").isString());
    EXPECT_TRUE(TMClock().toJson().value("epoch").isNull());
}

TEST(TMClock, MalformedValuesReadAsDefaults) {
    const TMClock clock{QString(R"({"name": 5, "epoch": "yesterday",
        "leap_seconds_offset": 2.5, "sub_seconds_per_second": 1e12,
        "leap_seconds": {"datetime": "2012-07-01T00:00:00Z"}})")};
    EXPECT_EQ(clock.name(), "");
    EXPECT_FALSE(clock.epoch().isValid());
    EXPECT_EQ(clock.epochOffset(), 0);
    EXPECT_EQ(clock.initialLeapSecondsOffset(), 0);
    EXPECT_EQ(clock.subSecsPerSec(), 0);
    EXPECT_TRUE(clock.leapSeconds().isEmpty());
    EXPECT_EQ(clock, TMClock());
}

TEST(TMClock, DebugText) {
    TMClock clock;
    clock.setName("C");
    clock.setEpoch("2000-01-01T00:00:00Z");
    clock.setSubSecsPerSec(10);
    clock.setLeapSecondsTable({TMClock::LeapSecond("2005-12-31T23:59:59", 1)});
    QString text;
    QDebug(&text) << clock;
    EXPECT_EQ(text,
              "TMClock (\n\tname=\"C\"\n\tepoch=2000-01-01T00:00:00Z\n\tsubsecspersec=10"
              "\n\tleap_seconds_offset=0\n\tleap_seconds: [\n\t\t2005-12-31T23:59:59Z 1\n\t]\n) ");
}
