#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace TarGse {
class MarkerCache;
class MassCal;
class ScanData;
class ScienceDataCache;
}  // namespace TarGse

namespace k814util {

/**
 * @brief A run of scans of a science data cache laid out as rows of caller-owned arrays: the
 * zero-filled counts of each scan, the m/z of every counted bin, and one row of per-scan figures
 * for a table.
 *
 * The caller sizes its arrays from countedBins() and width(), then hands in row-major storage,
 * so a whole file is written in one pass straight from the scans' segments, without building a
 * list per scan. Row r describes scan first + r. A scan's counted bins are the entries of the
 * script object's counts(): bin 0 up to the end of the last segment, missing bins as zeros.
 */
class SpectraArrays {
public:
    /// Floating-point table columns, in the order fillTable() writes them per row; MarkerTime is
    /// the relative time of the scan's marker (0 without one).
    enum RealColumn { RelativeTime, UnixTime, CorrectedTic, MarkerTime, RealColumnCount };
    /// Integer table columns, in the order fillTable() writes them per row.
    enum IntColumn {
        Tic,
        HighestCount,
        HighestCountBin,
        ScanMode,
        IonSource,
        SrcPktType,
        SummedScans,
        MarkerId,
        IntColumnCount
    };

    /// The given scans, one row each (a null scan gives an empty row), with the test's mass
    /// calibration (null: no m/z).
    SpectraArrays(std::vector<const TarGse::ScanData*> scans, const TarGse::MassCal* massCal);
    /**
     * The scans first to last - 1 of cache.
     * @throw std::out_of_range when the range does not lie within the cache's scans
     */
    SpectraArrays(const TarGse::ScienceDataCache& cache, const TarGse::MassCal* massCal, int first,
                  int last);

    int rows() const { return int(scans_.size()); }
    /// The length of each row's count list.
    const std::vector<int64_t>& countedBins() const { return countedBins_; }
    /// The longest row; 0 without rows.
    int64_t width() const { return width_; }
    /// Where each row starts in flat arrays that hold the rows one after another, and their
    /// total length last (rows() + 1 entries).
    std::vector<int64_t> offsets() const;

    /**
     * Writes row r's counts to out[r * stride ...], each truncated to an integer as counts()
     * does. Entries past a row's counted bins and the missing bins inside it are not written:
     * the caller hands in zeroed storage.
     * @throw std::invalid_argument when stride is below width()
     */
    void fillCounts(int32_t* out, int64_t stride) const;
    /// As fillCounts, keeping fractions (the counts of averaged summed scans).
    void fillCounts(double* out, int64_t stride) const;
    /**
     * Writes the rows' counts one after another, row r from out[offsets()[r]], without padding:
     * out holds offsets().back() entries. Missing bins are not written (zeroed storage).
     */
    void fillFlatCounts(int32_t* out) const;
    /// As fillFlatCounts, keeping fractions.
    void fillFlatCounts(double* out) const;
    /// Whether every count is a whole number, so integers hold the counts without loss.
    bool wholeCounts() const;
    /**
     * Writes the Bin-to-Mass chain at bin k to out[r * stride + k] for every counted bin k of
     * row r, and NaN to the rest of the row (all of it without a mass calibration), so the
     * caller's storage needs no initialisation.
     * @throw std::invalid_argument when stride is below width()
     */
    void fillMz(double* out, int64_t stride) const;
    /// The m/z of fillMz laid out as fillFlatCounts lays out the counts (NaN without a mass
    /// calibration).
    void fillFlatMz(double* out) const;
    /**
     * Writes RealColumnCount doubles and IntColumnCount integers per row, in the order of the
     * column enumerations, and returns each row's marker text (empty without a marker). The
     * marker of a scan is the one that precedes its last science packet.
     */
    std::vector<std::string> fillTable(double* reals, int64_t* ints,
                                       const TarGse::MarkerCache& markers,
                                       bool skipZeroIdMarkers) const;

private:
    // Writes row r from rowStart(r); a row holds countedBins()[r] entries, and the m/z fill
    // writes NaN from there up to rowEnd(r).
    template <typename T, typename RowStart>
    void fillCountsAs(T* out, RowStart rowStart) const;
    template <typename RowStart, typename RowEnd>
    void fillMzAs(double* out, RowStart rowStart, RowEnd rowEnd) const;

    std::vector<const TarGse::ScanData*> scans_;
    std::vector<int64_t> countedBins_;
    int64_t width_ = 0;
    const TarGse::MassCal* massCal_ = nullptr;
};

}  // namespace k814util
