#include <gselib/adc2ohmstransferfunc.h>
#include <gselib/adc2voltstransferfunc.h>
#include <gselib/degreestransferfunc.h>
#include <gselib/logtransferfunc.h>
#include <gselib/lookuptabletransferfunc.h>
#include <gselib/naturallogtransferfunc.h>
#include <gselib/polytransferfunc.h>
#include <gselib/prtdegreestransferfunc.h>
#include <gselib/rationaltransferfunc.h>
#include <gselib/rawtodouble.h>
#include <gselib/rsimdegreestransferfunc.h>
#include <gselib/sensewiretransferfunc.h>
#include <gselib/thermistortransferfunc.h>
#include <gselib/twoscomplementtransferfunc.h>

#include "testutil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// A 10 kOhm NTC thermistor's Steinhart-Hart coefficients (25 degrees C at 10 kOhm).
const double kA = 1.129148e-3, kB = 2.34125e-4, kC = 8.76741e-8;

using V = std::vector<double>;

template <class F, class... A>
std::shared_ptr<TransferFunc> make(A... args) {
    return std::make_shared<F>(args...);
}

}  // namespace

TEST(TransferFunc, ValuesComputedIndependently) {
    // Expected values are worked by hand or from the formulas with a separate calculator.
    struct Case {
        const char* name;
        std::shared_ptr<TransferFunc> f;
        std::vector<std::pair<double, double>> points;  // (x, expected)
    };
    const double pi = 3.1415927410125732;  // 0x40490FDB as an IEEE float
    const Case cases[] = {
        {"volts", make<ADC2VoltsTransferFunc>(-5.0, 10.0 / 65536, 0.0), {{32768, 0}, {65536, 5}}},
        {"ohms",
         make<ADC2OhmsTransferFunc>(ADC2OhmsTransferFunc::fromDivider(0, 1000)),
         {{32768, 1000}}},
        {"ohms offset",
         make<ADC2OhmsTransferFunc>(ADC2OhmsTransferFunc::fromDivider(100, 2000)),
         {{1000, 27.891409445890666}}},
        {"poly degree 1", make<PolyTransferFunc>(V{1, 2, 0, 0}), {{3, 7}}},
        {"poly degree 3", make<PolyTransferFunc>(V{1, 0, 0, 2}), {{2, 17}}},
        {"poly constant", make<PolyTransferFunc>(V{4.5, 0, 0}), {{1e9, 4.5}}},
        {"degrees",
         make<DegreesTransferFunc>(V{0, 10000, kA, kB, kC}),
         {{32768, 25.019668176696314}, {20000, 44.87323225922245}}},
        {"thermistor",
         make<ThermistorTransferFunc>(V{10, 10000, kA, kB, kC}),
         {{2.5, 13.759818582151638}}},
        {"rsim", make<RSimDegreesTransferFunc>(V{1000, -5, 0.1, 0.001}), {{0.5, 1095}}},
        {"prt linear", make<PRTDegreesTransferFunc>(100.0, 0.385, 0.0), {{138.5, 100}}},
        {"prt",
         make<PRTDegreesTransferFunc>(100.0, 0.39083, -5.775e-5),
         {{138.5055, 100}, {80.314125, -50}, {100, 0}}},
        {"prt K2=0 tie", make<PRTDegreesTransferFunc>(0.0, 0.0, 2.0), {{8, -2}}},
        {"sense wire", make<SenseWireTransferFunc>(V{1, 2, 3, 4, 5, 100}), {{98, 129}}},
        {"natural log", make<NaturalLogTransferFunc>(V{1, 2}), {{std::exp(1.0), 3}}},
        {"log base 10", make<LogTransferFunc>(V{1, 2, 10}), {{100, 5}, {0, 0}}},
        {"log base -1", make<LogTransferFunc>(V{1, 2, -1}), {{100, 0}}},
        {"twos", make<TwosComplementTransferFunc>(V{16, 0}), {{65535, -1}, {32767, 32767}}},
        {"twos fixed point", make<TwosComplementTransferFunc>(V{12, 4}), {{2048, -128}, {40, 2.5}}},
        {"raw float", make<RawToDouble>(V{0, 1}), {{0x40490FDB, pi}}},
        {"raw float poly", make<RawToDouble>(V{1, 2}), {{0x40490FDB, 1 + 2 * pi}}},
        {"raw degree 0", make<RawToDouble>(V{7}), {{0x40490FDB, 7}}},
        {"rational default", make<RationalTransferFunc>(), {{12.25, 12.25}}},
        {"rational", make<RationalTransferFunc>(V{1, 1}, V{0, 2}), {{4, 0.625}}},
    };
    for (const Case& c : cases) {
        for (const auto& [x, expected] : c.points) {
            EXPECT_NEAR(c.f->apply(x), expected, 1e-9 * std::max(1.0, std::fabs(expected)))
                << c.name << " at " << x;
        }
    }
}

TEST(TransferFunc, PolynomialDegree) {
    EXPECT_EQ(PolyTransferFunc(std::vector<double>{1, 2, 0, 0}).degree(), 1);
    EXPECT_EQ(PolyTransferFunc(std::vector<double>{1, 0, 0, 0}).degree(), 0);
    EXPECT_EQ(PolyTransferFunc(std::vector<double>{0, 0, std::nan(""), 0}).degree(), 2);
    EXPECT_EQ(PolyTransferFunc().coefficients().size(), 8u);
    EXPECT_EQ(PolyTransferFunc().apply(5), 0.0);
    EXPECT_EQ(PolyTransferFunc(std::vector<double>{}).apply(5), 0.0);
}

TEST(TransferFunc, NumericFaultsGiveInfinityOrNaN) {
    EXPECT_TRUE(std::isinf(ADC2OhmsTransferFunc::fromDivider(0, 1000).apply(65536)));
    EXPECT_TRUE(std::isnan(NaturalLogTransferFunc({0, 1}).apply(-1)));
    EXPECT_TRUE(std::isnan(PRTDegreesTransferFunc(0, 1, 1).apply(-10)));  // D < 0
    // 2^40 keeps its low 32 bits (0) as the bit pattern instead of overflowing.
    EXPECT_EQ(RawToDouble(std::vector<double>{0, 1}).apply(1099511627776.0), 0.0);
    EXPECT_TRUE(std::isnan(TwosComplementTransferFunc({16, 0}).apply(std::nan(""))));
    // Bit counts come from database cells as any double (found by fuzzing): NaN counts as 0 bits
    // (bit index 31), a huge count as 2^50 bits, an infinite power of two.
    EXPECT_EQ(TwosComplementTransferFunc({std::nan(""), 0}).apply(2147483648.0), 2147483647.0);
    EXPECT_EQ(TwosComplementTransferFunc({1e300, 0}).apply(-1), -HUGE_VAL);
}

TEST(TransferFunc, TextFormsRoundTrip) {
    // Coefficients with at most eight decimals survive the fixed "%.8f" text exactly.
    const double a = 0.00112915, b = 0.00023413, c = 0.00000009;
    struct RoundTrip {
        const char* name;
        std::shared_ptr<TransferFunc> original;
        std::shared_ptr<TransferFunc> blank;
        double x;
    };
    const RoundTrip cases[] = {
        {"poly", make<PolyTransferFunc>(V{1.5, -2, 0.25}), make<PolyTransferFunc>(), 3},
        {"rational", make<RationalTransferFunc>(V{1, 2}, V{3, 0.5}), make<RationalTransferFunc>(),
         2},
        {"degrees", make<DegreesTransferFunc>(V{0, 10000, a, b, c}), make<DegreesTransferFunc>(),
         30000},
        {"thermistor", make<ThermistorTransferFunc>(V{10, 10000, a, b, c}),
         make<ThermistorTransferFunc>(), 2.5},
        {"rsim", make<RSimDegreesTransferFunc>(V{1000, -5, 0.1, 0.001}),
         make<RSimDegreesTransferFunc>(), 0.5},
        {"prt", make<PRTDegreesTransferFunc>(100.0, 0.5, -0.25), make<PRTDegreesTransferFunc>(),
         90},
        {"sense", make<SenseWireTransferFunc>(V{1, 2, 3, 4, 5, 100}), make<SenseWireTransferFunc>(),
         98},
    };
    for (const RoundTrip& rt : cases) {
        ASSERT_FALSE(std::isnan(rt.original->apply(rt.x))) << rt.name;
        rt.blank->change(rt.original->asString());
        EXPECT_EQ(rt.blank->asString(), rt.original->asString()) << rt.name;
        EXPECT_NEAR(rt.blank->apply(rt.x), rt.original->apply(rt.x),
                    1e-9 * std::fabs(rt.original->apply(rt.x)))
            << rt.name;
    }
}

TEST(TransferFunc, TextFormats) {
    EXPECT_EQ(PolyTransferFunc(std::vector<double>{1, 2.123456789, 0}).asString(),
              "1\t1\t2.1234568");
    EXPECT_EQ(RationalTransferFunc({0, 1}, {1}).asString(), "2\t0\t1");
    EXPECT_EQ(RationalTransferFunc({-5, 2}, {65536, -1}).asString(), "2\t-5\t2/2\t65536\t-1");
    EXPECT_EQ(PRTDegreesTransferFunc(1, 2, 3).asString(), "1.00000000\t2.00000000\t3.00000000");
    EXPECT_EQ(NaturalLogTransferFunc({1, 2}).asString(), "Not implemented");
    EXPECT_EQ(RawToDouble(std::vector<double>{1, 2}).asString(), "");

    // Junk reads as 0; a negative degree changes nothing.
    PolyTransferFunc p(std::vector<double>{1, 2});
    p.change("2\tx\t3\t4");
    EXPECT_EQ(p.apply(2), 0 + 3 * 2 + 4 * 4);
    p.change("-1\t9\t9");
    EXPECT_EQ(p.apply(2), 22);
    p.change("junk\t5");
    EXPECT_EQ(p.apply(2), 5);
    // A degree beyond the held coefficients grows the list.
    PolyTransferFunc grown(std::vector<double>{0, 1});
    grown.change("3\t0\t0\t0\t1");
    EXPECT_EQ(grown.apply(2), 8);

    // Without "/" the denominator is 1.
    RationalTransferFunc r;
    r.change("2\t1\t3");
    EXPECT_EQ(r.apply(2), 7);
    r.change("1\t6/1\t2");
    EXPECT_EQ(r.apply(123), 3);

    // The degrees resistance stage follows the coefficients.
    DegreesTransferFunc d(std::vector<double>{0, 10000, kA, kB, kC});
    DegreesTransferFunc copy = d;
    d.change("100\t20000\t1\t0\t0");
    EXPECT_NEAR(d.resistanceStage()->apply(32818), 20000.0 * 32718 / 32718, 1e-9);
    EXPECT_NEAR(copy.apply(32768), 25.019668176696314, 1e-9);
    EXPECT_NE(copy.resistanceStage(), d.resistanceStage());
    copy = d;
    EXPECT_NEAR(copy.resistanceStage()->apply(32818), 20000.0, 1e-9);
}

// ---- lookup tables -------------------------------------------------------------------------

namespace {

struct TableDir {
    QTemporaryDir dir;
    std::string write(const char* name, const QByteArray& content) {
        testutil::writeFile(dir.filePath(QStringLiteral("lookupTables/") + name), content);
        return dir.path().toStdString();
    }
};

// Straight-line search, written independently of the bisection under test.
double reference(const std::vector<std::pair<double, double>>& t, double x) {
    size_t i = 0;
    while (i + 2 < t.size() && x > t[i + 1].first) {
        ++i;
    }
    return t[i].second +
           (t[i + 1].second - t[i].second) * (x - t[i].first) / (t[i + 1].first - t[i].first);
}

}  // namespace

TEST(LookupTable, InterpolatesAndExtrapolates) {
    TableDir td;
    const std::string dir = td.write("cal.csv",
                                     "# x,y calibration\n\n0,0\n10, 100\n20,150 trailing\n"
                                     "35,150\n50,-50\n,, 80,,200\n");
    const std::vector<std::pair<double, double>> t = {{0, 0},    {10, 100}, {20, 150},
                                                      {35, 150}, {50, -50}, {80, 200}};
    LookupTableTransferFunc f(dir, "cal.csv");
    ASSERT_TRUE(f.isValid());
    ASSERT_EQ(f.table().size(), 6);
    for (double x :
         {-10.0, 0.0, 5.0, 10.0, 12.5, 20.0, 27.0, 35.0, 40.0, 50.0, 79.0, 80.0, 100.0}) {
        EXPECT_NEAR(f.apply(x), reference(t, x), 1e-9) << x;
    }
    EXPECT_DOUBLE_EQ(f.apply(10), 100);  // a table x gives its y
    EXPECT_DOUBLE_EQ(f.apply(-10), -100);
    EXPECT_DOUBLE_EQ(f.apply(100), 200 + 20 * 250.0 / 30);
    EXPECT_EQ(f.equationAsString(), "Lookup table (cal.csv)");
}

TEST(LookupTable, DescendingTableIsReversed) {
    TableDir td;
    const std::string dir = td.write("asc", "1,10\n2,20\n4,80\n");
    td.write("desc", "4,80\n2,20\n1,10\n");
    LookupTableTransferFunc asc(dir, "asc");
    LookupTableTransferFunc desc(dir, "desc");
    EXPECT_EQ(desc.table(), asc.table());
    for (double x : {0.0, 1.5, 3.0, 5.0}) {
        EXPECT_DOUBLE_EQ(desc.apply(x), asc.apply(x)) << x;
    }
    EXPECT_DOUBLE_EQ(asc.apply(3), 50);
}

TEST(LookupTable, DegenerateTables) {
    TableDir td;
    const std::string dir = td.write("one", "5,42\n");
    td.write("short", "1,10\n7\n2,20\n");
    LookupTableTransferFunc one(dir, "one");
    EXPECT_TRUE(one.isValid());
    EXPECT_EQ(one.apply(-1000), 42);
    LookupTableTransferFunc shortLine(dir, "short");
    EXPECT_EQ(shortLine.table().size(), 2);  // the one-field line is skipped, not read as (7, 0)

    testing::internal::CaptureStderr();
    LookupTableTransferFunc missing(dir, "absent");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Failed to open " + dir + "/lookupTables/absent\n");
    EXPECT_FALSE(missing.isValid());
    EXPECT_EQ(missing.apply(3.25), 3.25);
    EXPECT_EQ(missing.equationAsString(), "Lookup table (INVALID)");
}
