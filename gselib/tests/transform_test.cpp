#include <gselib/compositetransform.h>
#include <gselib/piecewisetransform.h>
#include <gselib/polyfit.h>
#include <gselib/transform.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
}  // namespace

TEST(Transform, TypeRule) {
    struct Case {
        double a, b, c;
        int type;
        double x, y;
    };
    const Case cases[] = {
        {0, 1, 0, Transform::Identity, 7, 7},     {5, 1, 0, Transform::Linear, 7, 12},
        {0, 2, 0, Transform::Linear, 7, 14},      {1, 2, 3, Transform::Quadratic, 2, 1 + 4 + 12},
        {0, 1, -0.5, Transform::Quadratic, 2, 0}, {0, 0, 0, Transform::Linear, 7, 0},
    };
    for (const Case& c : cases) {
        const Transform t(c.a, c.b, c.c);
        EXPECT_EQ(t.type(), c.type) << c.a << " " << c.b << " " << c.c;
        EXPECT_DOUBLE_EQ(t.apply(c.x), c.y);
    }
    EXPECT_EQ(Transform(kNaN, 1, 0).type(), Transform::Linear);
    EXPECT_EQ(Transform(0, 1, kNaN).type(), Transform::Quadratic);
    EXPECT_EQ(Transform().type(), Transform::Identity);
    // Integer arguments convert to double first (no wrap-around in the integer type).
    EXPECT_DOUBLE_EQ(Transform(0, 2, 0).apply(uint8_t{200}), 400.0);
    EXPECT_DOUBLE_EQ(Transform(0, 2, 0).apply(int16_t{-30000}), -60000.0);
    EXPECT_DOUBLE_EQ(Transform(0, 2, 0).apply(uint64_t{1} << 62), 9223372036854775808.0);
}

TEST(Transform, TwoPointLine) {
    // (x1, y1, x2, y2) -> a, b; degenerate pairs give the identity line, still of type Linear.
    for (const auto& [t, a, b] : {std::tuple{Transform(1.0, 5.0, 3.0, 9.0), 3.0, 2.0},
                                  {Transform(0.0, 0.0, 4.0, 4.0), 0.0, 1.0},
                                  {Transform(1.0, 5.0, 1.0, 7.0), 0.0, 1.0}}) {
        EXPECT_EQ(t.type(), Transform::Linear);
        EXPECT_DOUBLE_EQ(t.a(), a);
        EXPECT_DOUBLE_EQ(t.b(), b);
    }
    EXPECT_EQ(Transform(1.0, 5.0, 3.0, 5.0).type(), Transform::Linear);
}

TEST(Transform, Inverses) {
    struct Case {
        Transform t;
        double y, x;
    };
    const Case cases[] = {
        {Transform(), 3.5, 3.5},
        {Transform(5, 2, 0), 11, 3},
        {Transform(0, 1, 1), 6, 2},    // x^2 + x = 6: roots 2 and -3, 2 nearer to 6
        {Transform(2, 0, 1), 6, -2},   // x^2 + 2 = 6: roots tie, the second (-2) is taken
        {Transform(0, -1, 1), 6, -2},  // x^2 - x = 6: roots 3 and -2, -2 nearer to -6
        {Transform(-1, 3, 0.001), 29.9, 10.264877430445907},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(c.t.inverse(c.y), c.x, 1e-6) << c.t.asString().toStdString();
        EXPECT_NEAR(c.t.apply(c.t.inverse(c.y)), c.y, 1e-9);
    }
    EXPECT_TRUE(std::isnan(Transform(10, 0, 1).inverse(0)));  // negative discriminant
    EXPECT_DOUBLE_EQ(Transform(5, 2, 0).slope(), 2.0);
    EXPECT_DOUBLE_EQ(Transform(0, 1, 1).slope(), (420.0 - 110.0) / 10.0);
    EXPECT_DOUBLE_EQ(Transform().slope(), 1.0);
}

TEST(Transform, TextForms) {
    const Transform t(1.5, -2.25, 3e-7);
    EXPECT_EQ(t.asString(), "2\t1.5\t-2.25\t3e-07");
    EXPECT_EQ(Transform(t.asString()), t);
    EXPECT_EQ(t.asText("m = "), "m = 3e-07\t-2.25\t1.5");
    // The type is kept as written, and junk reads as 0.
    const Transform written("1\t0\t1\t0");
    EXPECT_EQ(written.type(), Transform::Linear);
    const Transform junk("x\tabc\t2");
    EXPECT_EQ(junk.type(), 0);
    EXPECT_EQ(junk.a(), 0.0);
    EXPECT_EQ(junk.b(), 2.0);
    EXPECT_EQ(junk.c(), 0.0);
}

TEST(Fit, PolynomialsOfDegreeOneAndTwo) {
    const double x[] = {0, 1, 2};
    const double y[] = {1, 3, 5};
    Transform line;
    EXPECT_NEAR(line.fit(x, y, 3, 1), 1.0, 1e-12);
    EXPECT_NEAR(line.a(), 1.0, 1e-12);
    EXPECT_NEAR(line.b(), 2.0, 1e-12);
    EXPECT_EQ(line.c(), 0.0);
    EXPECT_EQ(line.type(), Transform::Linear);

    // y = 0.5 x^2 - 3 x + 2 at five points, fitted exactly.
    std::vector<double> xs = {-2, 0, 1, 3, 10};
    std::vector<double> ys;
    for (double v : xs)
        ys.push_back(0.5 * v * v - 3 * v + 2);
    Transform quad;
    EXPECT_NEAR(quad.fit(xs.data(), ys.data(), 5, 2), 1.0, 1e-12);
    EXPECT_NEAR(quad.a(), 2.0, 1e-9);
    EXPECT_NEAR(quad.b(), -3.0, 1e-9);
    EXPECT_NEAR(quad.c(), 0.5, 1e-9);
    EXPECT_EQ(quad.type(), Transform::Quadratic);

    // An identity fit gets type 0.
    const double same[] = {0, 1, 2};
    Transform ident(5, 5, 0);
    ident.fit(same, same, 3, 1);
    EXPECT_NEAR(ident.b(), 1.0, 1e-12);
    EXPECT_NEAR(ident.a(), 0.0, 1e-12);
}

TEST(Fit, NoisyLineGivesChiSquareAndCorrelation) {
    // Residuals +1, -1, -1, +1 around y = 2x: least squares is exactly y = 2x, chisq 4.
    const double x[] = {0, 1, 2, 3};
    const double y[] = {1, 1, 3, 7};
    double a[2] = {0, 0};
    double chisq = -1;
    ASSERT_EQ(PolyFit(x, y, 4, 1, a, &chisq), 0);
    EXPECT_NEAR(a[0], 0.0, 1e-12);
    EXPECT_NEAR(a[1], 2.0, 1e-12);
    EXPECT_NEAR(chisq, 4.0, 1e-12);
    // mean 3, SS = 4 + 4 + 0 + 16 = 24: R = sqrt(20 / 24).
    EXPECT_NEAR(CorrelationCoefficient(y, 4, chisq), std::sqrt(20.0 / 24.0), 1e-12);
    EXPECT_DOUBLE_EQ(fMean(y, 4), 3.0);
}

TEST(Fit, SquareRootBasisForNegativeDegree) {
    std::vector<double> xs = {0, 1, 4, 9, 16, 25};
    std::vector<double> ys;
    for (double v : xs)
        ys.push_back(1 + 2 * std::sqrt(v) + 3 * v);
    double a[3] = {0, 0, 0};
    double chisq = -1;
    ASSERT_EQ(PolyFit(xs.data(), ys.data(), 6, -1, a, &chisq), 0);
    EXPECT_NEAR(a[0], 1.0, 1e-9);
    EXPECT_NEAR(a[1], 2.0, 1e-9);
    EXPECT_NEAR(a[2], 3.0, 1e-9);
    EXPECT_NEAR(chisq, 0.0, 1e-12);
    // The transform refuses it: the basis is not a polynomial in x.
    Transform t(4, 4, 0);
    EXPECT_EQ(t.fit(xs.data(), ys.data(), 6, -1), 0.0);
    EXPECT_EQ(t, Transform(4, 4, 0));
    EXPECT_EQ(t.fit(xs.data(), ys.data(), 6, 3), 0.0);
}

TEST(Fit, SingularSystemsFailAndKeepState) {
    const double x[] = {2, 2, 2};
    const double y[] = {1, 2, 3};
    Transform t(4, 4, 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(t.fit(x, y, 3, 1), 0.0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "NR ERR: GAUSSJ: Singular Matrix-2\n");
    EXPECT_EQ(t, Transform(4, 4, 0));

    // Two identical rows: the second pivot search finds a used column again.
    double** a = nr_matrix(2, 2);
    double** b = nr_matrix(2, 1);
    a[0][0] = 0;
    a[0][1] = 0;
    a[1][0] = 0;
    a[1][1] = 0;
    testing::internal::CaptureStdout();
    EXPECT_NE(gaussj(a, 2, b, 1), 0);
    EXPECT_FALSE(testing::internal::GetCapturedStdout().empty());
    free_nr_matrix(a);
    free_nr_matrix(b);
}

TEST(Fit, GaussJordanInvertsAndSolves) {
    // A = [[2,1,1],[1,3,2],[1,0,0]], b = [4,5,6]: x = [6, 15, -23]; det = -1.
    double** a = nr_matrix(3, 3);
    double** b = nr_matrix(3, 1);
    const double A[3][3] = {{2, 1, 1}, {1, 3, 2}, {1, 0, 0}};
    const double B[3] = {4, 5, 6};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            a[i][j] = A[i][j];
        b[i][0] = B[i];
    }
    ASSERT_EQ(gaussj(a, 3, b, 1), 0);
    EXPECT_NEAR(b[0][0], 6.0, 1e-12);
    EXPECT_NEAR(b[1][0], 15.0, 1e-12);
    EXPECT_NEAR(b[2][0], -23.0, 1e-12);
    // a now holds the inverse: A * inv = I.
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            double s = 0;
            for (int k = 0; k < 3; ++k)
                s += A[i][k] * a[k][j];
            EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-12) << i << "," << j;
        }
    }
    free_nr_matrix(a);
    free_nr_matrix(b);
}

TEST(Fit, CorrelationEdgeCases) {
    const double flat[] = {3, 3, 3};
    EXPECT_EQ(CorrelationCoefficient(flat, 3, 0.5), 1.0);
    EXPECT_EQ(CorrelationCoefficient(flat, 0, 0.5), 1.0);
    EXPECT_EQ(CorrelationCoefficient(flat, 65536, 0.5), 1.0);  // n taken modulo 65536
    const double y[] = {0, 2};
    EXPECT_TRUE(std::isnan(CorrelationCoefficient(y, 2, 5.0)));
    EXPECT_TRUE(std::isnan(fMean(y, 0)));
}

TEST(Fit, IsAlmostEqual) {
    struct Case {
        double a, b, tol;
        bool equal;
    };
    const Case cases[] = {
        {0.0, -0.0, 1e-9, true},
        {kNaN, kNaN, 1e-9, false},
        {kInf, kInf, 1e-9, false},
        {1.0, 1.0 + 1e-10, 1e-9, true},
        {1.0, 1.0 + 1e-8, 1e-9, false},
        {-5.0, 5.0, 3.0, true},  // |a-b| = 10 <= 5 * 3
        {-5.0, 5.0, 1.0, false},
        {0.0, 1e-300, 1.0, false},     // zero and normal are different classes
        {1e-310, 1e-310, 1e-9, true},  // two equal subnormals
        {1e-310, 1.0, 1e9, false},     // subnormal and normal
    };
    for (const Case& c : cases) {
        EXPECT_EQ(nr::isAlmostEqual(c.a, c.b, c.tol), c.equal) << c.a << " vs " << c.b;
    }
}

TEST(CompositeTransform, AppliesInOrderAndInvertsInReverse) {
    auto t1 = std::make_shared<Transform>(1, 2, 0);  // 2x + 1
    auto t2 = std::make_shared<Transform>(0, 3, 0);  // 3x
    CompositeTransform c;
    EXPECT_EQ(c.apply(4.0), 4.0);
    c.addTransform(t1, false);
    c.addTransform(t2, false);
    EXPECT_DOUBLE_EQ(c.apply(4.0), 27.0);  // t2(t1(4)); the other order would give 25
    EXPECT_DOUBLE_EQ(c.inverse(27.0), 4.0);

    CompositeTransform inv;
    inv.addTransform(t1, true);
    inv.addTransform(t2, false);
    EXPECT_DOUBLE_EQ(inv.apply(9.0), 12.0);  // 3 * (9 - 1) / 2
    EXPECT_DOUBLE_EQ(inv.inverse(12.0), 9.0);
}

TEST(PiecewiseTransform, SectionsChosenByEndRange) {
    PiecewiseSection low;
    low.startRange = 0;
    low.endRange = 10;
    low.points = {{0, 0}, {10, 20}};  // y = 2x
    low.degree = 1;
    PiecewiseSection high;
    high.startRange = 10;
    high.endRange = 20;
    high.points = {{10, 20}, {20, 50}};  // y = 3x - 10
    high.degree = 1;
    PiecewiseTransform p({low, high});
    EXPECT_NEAR(p.apply(3.0), 6.0, 1e-9);
    EXPECT_NEAR(p.apply(10.0), 20.0, 1e-9);  // end range inclusive
    EXPECT_NEAR(p.apply(15.0), 35.0, 1e-9);
    EXPECT_NEAR(p.apply(30.0), 80.0, 1e-9);   // beyond the last section: last transform
    EXPECT_NEAR(p.apply(-5.0), -10.0, 1e-9);  // start range not consulted
    EXPECT_NEAR(p.sections()[0].endRangeInverse, 20.0, 1e-9);
    EXPECT_NEAR(p.inverse(35.0), 15.0, 1e-9);
    EXPECT_NEAR(p.inverse(20.0), 10.0, 1e-9);
    EXPECT_EQ(PiecewiseTransform().toString(), "Empty");
    const QString text = p.toString();
    EXPECT_TRUE(
        text.startsWith("Section 0\nStart range: 0\nEnd range: 10\nEnd range inverse: 20\n"
                        "Values used to calculate transform:\n0\t0\n10\t20\n"
                        "Transform state:\n1\t"))
        << text.toStdString();
    EXPECT_TRUE(text.contains("Section 1\nStart range: 10\nEnd range: 20\n"));
}

TEST(PiecewiseTransform, UnfittableSectionKeepsIdentity) {
    PiecewiseSection s;
    s.endRange = 5;
    s.points = {{1, 1}, {1, 2}};
    s.degree = 1;
    testing::internal::CaptureStdout();
    PiecewiseTransform p({s});
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(p.transforms()[0], Transform());
    EXPECT_EQ(p.apply(4.0), 4.0);
}
