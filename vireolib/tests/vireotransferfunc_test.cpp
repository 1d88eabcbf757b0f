#include <vireolib/vireolib.h>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

TEST(VireoTransferFunc, ValuesComputedIndependently) {
    struct Case {
        const char* name;
        std::function<std::shared_ptr<TransferFunc>()> make;
        double x;
        double expected;
    };
    // Steinhart-Hart values worked with a separate calculator; the VIREO family uses 273.15.
    const double a = 1.129148e-3, b = 2.34125e-4, c = 8.76741e-8;
    const Case cases[] = {
        {"ohms",
         [] {
             return std::make_shared<VIREO_ADC2OhmsTransferFunc>(std::vector<double>{0, 10000},
                                                                 std::vector<double>{65536, -1});
         },
         32768, 10000},
        {"thermistor",
         [&] {
             return std::make_shared<VIREO_ThermistorTransferFunc>(
                 std::vector<double>{10000, 4096, a, b, c});
         },
         1024, 52.042398289714015},
        {"ctl defaults", [] { return std::make_shared<VIREO_CtlThermistorTransferFunc>(); }, 2048,
         36.29989974309308},
        {"ctl amux defaults",
         [] { return std::make_shared<VIREO_CtlAmuxThermistorTransferFunc>(); }, 20000,
         41.807340904379146},
        {"10k defaults", [] { return std::make_shared<VIREO_10kThermistorTransferFunc>(); }, 2048,
         41.580344003974176},
        {"prt", [] { return std::make_shared<VIREO_PRTDegreesTransferFunc>(2, 10); }, 20, 30},
    };
    for (const Case& cs : cases) {
        EXPECT_NEAR(cs.make()->apply(cs.x), cs.expected,
                    1e-9 * std::max(1.0, std::fabs(cs.expected)))
            << cs.name;
    }
    // 16.16 fixed point in two's complement; a fractional raw value is truncated first.
    for (const auto& [x, y] :
         {std::pair{98304.0, 1.5}, {-65536.0, -1.0}, {-32768.0, -0.5}, {65536.9, 1.0}}) {
        EXPECT_EQ(VIREO_Pt16x16DoubleTransferFunc().apply(x), y) << x;
    }
}

TEST(VireoTransferFunc, CoefficientListsFromText) {
    // "%.8f" keeps eight decimals: K5 = 1.275e-07 of the defaults is written as 0.00000013.
    VIREO_CtlThermistorTransferFunc ctl;
    EXPECT_EQ(ctl.asString(), "18700.00000000\t4096.00000000\t0.00093540\t0.00022110\t0.00000013");
    VIREO_CtlThermistorTransferFunc copy(ctl.asString());
    EXPECT_EQ(copy.asString(), ctl.asString());
    EXPECT_DOUBLE_EQ(copy.coefficients()[4], 0.00000013);
    EXPECT_EQ(VIREO_PRTDegreesTransferFunc("3\t1").apply(2), 5);
    EXPECT_EQ(VIREO_Pt16x16DoubleTransferFunc().asString(),
              "0\t0.00000000\t0.00000000\t0.00000000\t0.00000000");
    EXPECT_EQ(VIREO_Pt16x16DoubleTransferFunc(std::vector<double>{3, 1.5}).asString(),
              "3\t1.50000000\t0.00000000\t0.00000000\t0.00000000");
}
