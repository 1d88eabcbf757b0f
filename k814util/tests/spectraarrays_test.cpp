#include <k814util/spectraarrays.h>

#include <gtest/gtest.h>
#include <k814util/pythonstyletarnscan.h>
#include <tarnlib/masscal.h>
#include <tarnlib/scandata.h>

#include <QSharedPointer>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace {

struct Segment {
    int startBin;
    int numBins;
};

// A scan of the given segments; the count of a segment's bin j is 10 * (segment + 1) + j, so a
// count landing in the wrong place shows.
TarGse::ScanData scanOf(const std::vector<Segment>& segments) {
    TarGse::ScanData scan;
    for (size_t s = 0; s < segments.size(); ++s) {
        TarGse::SciDataPacket p;
        p.startBin = uint16_t(segments[s].startBin);
        p.numBins = uint16_t(segments[s].numBins);
        p.endBin = uint16_t(p.startBin + p.numBins);
        for (int j = 0; j < TarGse::SciDataPacket::MAX_BINS && j < p.numBins; ++j) {
            p.counts[size_t(j)] = 10.0 * double(s + 1) + j + 0.75;  // truncated to an integer
        }
        p.updateTotals();
        scan.sciDataPackets.push_back(p);
    }
    return scan;
}

std::vector<int> run(int from, int n, int base) {
    std::vector<int> out;
    for (int j = 0; j < n; ++j) {
        out.push_back(base + from + j);
    }
    return out;
}

std::vector<int> operator+(std::vector<int> a, const std::vector<int>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

// Rows against counts worked out by hand and against the scan object's own counts(), which
// walks bin by bin: gaps become zeros, an overlapping segment does not move the row back, a
// segment longer than 100 bins counts 100, one without bins counts nothing.
TEST(SpectraArraysTest, RowsFollowCountsOfEveryScanShape) {
    const std::vector<int> none;
    const std::vector<int> zeros3(3, 0);
    const struct {
        const char* name;
        std::vector<Segment> segments;
        std::vector<int> expected;
    } cases[] = {
        {"empty", {}, none},
        {"from bin 0", {{0, 3}, {3, 2}}, run(0, 3, 10) + run(0, 2, 20)},
        {"above bin 0 with a gap",
         {{3, 2}, {8, 2}},
         zeros3 + run(0, 2, 10) + zeros3 + run(0, 2, 20)},
        {"overlap", {{0, 4}, {2, 3}}, run(0, 4, 10) + run(0, 3, 20)},
        {"same start", {{2, 2}, {2, 2}}, std::vector<int>(2, 0) + run(0, 2, 10) + run(0, 2, 20)},
        {"no bins between",
         {{0, 2}, {40, 0}, {3, 1}},
         run(0, 2, 10) + std::vector<int>(1, 0) + run(0, 1, 30)},
        {"over 100 bins", {{0, 150}}, run(0, 100, 10)},
    };
    std::vector<TarGse::ScanData> scans;
    for (const auto& c : cases) {
        scans.push_back(scanOf(c.segments));
    }
    std::vector<const TarGse::ScanData*> pointers;
    for (const auto& s : scans) {
        pointers.push_back(&s);
    }
    pointers.push_back(nullptr);  // a missing scan: an empty row

    const auto cal = QSharedPointer<TarGse::MassCal>::create();
    const k814util::SpectraArrays arrays(pointers, cal.data());
    ASSERT_EQ(arrays.rows(), int(std::size(cases)) + 1);
    EXPECT_EQ(arrays.width(), 100);
    const int64_t stride = arrays.width() + 2;
    std::vector<int32_t> counts(size_t(arrays.rows() * stride), -1);
    std::vector<double> mz(counts.size(), -1.0);
    // Counts only where a count belongs (the caller hands in zeros); m/z or NaN everywhere.
    for (size_t r = 0; r < std::size(cases); ++r) {
        const auto& want = cases[r].expected;
        for (size_t k = 0; k < want.size(); ++k) {
            if (want[k] == 0) {
                counts[r * size_t(stride) + k] = 0;
            }
        }
    }
    arrays.fillCounts(counts.data(), stride);
    arrays.fillMz(mz.data(), stride);

    for (size_t r = 0; r < std::size(cases); ++r) {
        SCOPED_TRACE(cases[r].name);
        const auto& want = cases[r].expected;
        ASSERT_EQ(arrays.countedBins()[r], int64_t(want.size()));
        const k814util::PythonStyleTarnScan scan(&scans[r], nullptr, cal, false);
        EXPECT_EQ(scan.counts(), want);
        const int32_t* row = counts.data() + r * size_t(stride);
        EXPECT_EQ(std::vector<int>(row, row + want.size()), want);
        for (int64_t k = int64_t(want.size()); k < stride; ++k) {
            EXPECT_EQ(row[k], -1) << "written past the counted bins at " << k;
        }
        // Without calibration entries the chain is the identity: m/z of bin k is k, beyond the
        // nBins() values the scan object gives.
        const double* mzRow = mz.data() + r * size_t(stride);
        const std::vector<double> mzv = scan.m_over_z_values();
        for (size_t k = 0; k < want.size(); ++k) {
            EXPECT_EQ(mzRow[k], double(k));
        }
        for (size_t k = 0; k < mzv.size() && k < want.size(); ++k) {
            EXPECT_EQ(mzRow[k], mzv[k]);
        }
        for (int64_t k = int64_t(want.size()); k < stride; ++k) {
            EXPECT_TRUE(std::isnan(mzRow[k])) << k;
        }
    }
    const double* lastMz = mz.data() + size_t(arrays.rows() - 1) * size_t(stride);
    EXPECT_TRUE(std::isnan(lastMz[0]) && std::isnan(lastMz[stride - 1]));

    // The flat layout holds the same rows one after another, from each row's offset.
    const std::vector<int64_t> offsets = arrays.offsets();
    ASSERT_EQ(offsets.size(), size_t(arrays.rows()) + 1);
    EXPECT_EQ(offsets.front(), 0);
    std::vector<int32_t> flatCounts(size_t(offsets.back()), 0);
    std::vector<double> flatMz(size_t(offsets.back()), -1.0);
    arrays.fillFlatCounts(flatCounts.data());
    arrays.fillFlatMz(flatMz.data());
    for (size_t r = 0; r < std::size(cases); ++r) {
        SCOPED_TRACE(cases[r].name);
        const auto& want = cases[r].expected;
        ASSERT_EQ(offsets[r + 1] - offsets[r], int64_t(want.size()));
        EXPECT_EQ(
            std::vector<int>(flatCounts.begin() + offsets[r], flatCounts.begin() + offsets[r + 1]),
            want);
        for (size_t k = 0; k < want.size(); ++k) {
            EXPECT_EQ(flatMz[size_t(offsets[r]) + k], double(k));
        }
    }

    EXPECT_THROW(arrays.fillCounts(counts.data(), arrays.width() - 1), std::invalid_argument);
    EXPECT_THROW(arrays.fillMz(mz.data(), arrays.width() - 1), std::invalid_argument);
}
