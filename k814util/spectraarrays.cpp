#include <k814util/spectraarrays.h>

#include <k814util/pythonstyletarnscan.h>
#include <tarnlib/markercache.h>
#include <tarnlib/masscal.h>
#include <tarnlib/scandata.h>
#include <tarnlib/sciencedatacache.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <stdexcept>
#include <utility>

namespace k814util {

namespace {

// Calls visit(position, segment, bins) for every segment that contributes counts, with the
// position in the zero-filled count list where its first bin lands, and returns the list's
// length. This is the walk of counts() done per segment instead of per bin: a gap before a
// segment becomes zeros, an overlap (a segment starting before the previous one ended) does not
// move the position back, and a segment's bins follow one another.
template <typename Visit>
int64_t walkSegments(const TarGse::ScanData& scan, Visit&& visit) {
    int64_t position = 0;
    int64_t expected = 0;
    for (const TarGse::SciDataPacket& segment : scan.sciDataPackets) {
        const int bins = std::min<int>(segment.numBins, TarGse::SciDataPacket::MAX_BINS);
        if (bins <= 0) {
            continue;  // no points, so no effect on the expected bin either
        }
        const int64_t start = segment.startBin;
        if (start > expected) {
            position += start - expected;
        }
        visit(position, segment, bins);
        position += bins;
        expected = start + bins;
    }
    return position;
}

void checkStride(int64_t stride, int64_t width) {
    if (stride < width) {
        throw std::invalid_argument("spectra rows are shorter than the longest scan");
    }
}

}  // namespace

SpectraArrays::SpectraArrays(std::vector<const TarGse::ScanData*> scans,
                             const TarGse::MassCal* massCal)
    : scans_(std::move(scans)), massCal_(massCal) {
    countedBins_.reserve(scans_.size());
    for (const TarGse::ScanData* scan : scans_) {
        const int64_t n = scan ? walkSegments(*scan, [](int64_t, const auto&, int) {}) : 0;
        countedBins_.push_back(n);
        width_ = std::max(width_, n);
    }
}

namespace {

std::vector<const TarGse::ScanData*> scanRange(const TarGse::ScienceDataCache& cache, int first,
                                               int last) {
    if (first < 0 || last < first || last > cache.size()) {
        throw std::out_of_range("spectra were asked for scans outside the file's scans");
    }
    std::vector<const TarGse::ScanData*> out;
    out.reserve(size_t(last - first));
    for (int i = first; i < last; ++i) {
        out.push_back(cache.scans()[i].get());
    }
    return out;
}

}  // namespace

SpectraArrays::SpectraArrays(const TarGse::ScienceDataCache& cache, const TarGse::MassCal* massCal,
                             int first, int last)
    : SpectraArrays(scanRange(cache, first, last), massCal) {}

std::vector<int64_t> SpectraArrays::offsets() const {
    std::vector<int64_t> out(countedBins_.size() + 1, 0);
    for (size_t r = 0; r < countedBins_.size(); ++r) {
        out[r + 1] = out[r] + countedBins_[r];
    }
    return out;
}

template <typename T, typename RowStart>
void SpectraArrays::fillCountsAs(T* out, RowStart rowStart) const {
    for (size_t r = 0; r < scans_.size(); ++r) {
        if (!scans_[r]) {
            continue;
        }
        T* row = out + rowStart(r);
        walkSegments(*scans_[r],
                     [row](int64_t position, const TarGse::SciDataPacket& segment, int bins) {
                         T* to = row + position;
                         for (int j = 0; j < bins; ++j) {
                             to[j] = T(segment.counts[size_t(j)]);
                         }
                     });
    }
}

void SpectraArrays::fillCounts(int32_t* out, int64_t stride) const {
    checkStride(stride, width_);
    fillCountsAs(out, [stride](size_t r) { return int64_t(r) * stride; });
}

void SpectraArrays::fillCounts(double* out, int64_t stride) const {
    checkStride(stride, width_);
    fillCountsAs(out, [stride](size_t r) { return int64_t(r) * stride; });
}

void SpectraArrays::fillFlatCounts(int32_t* out) const {
    const std::vector<int64_t> starts = offsets();
    fillCountsAs(out, [&starts](size_t r) { return starts[r]; });
}

void SpectraArrays::fillFlatCounts(double* out) const {
    const std::vector<int64_t> starts = offsets();
    fillCountsAs(out, [&starts](size_t r) { return starts[r]; });
}

bool SpectraArrays::wholeCounts() const {
    bool whole = true;
    for (const TarGse::ScanData* scan : scans_) {
        if (!scan || !whole) {
            continue;
        }
        walkSegments(*scan, [&whole](int64_t, const TarGse::SciDataPacket& segment, int bins) {
            for (int j = 0; j < bins && whole; ++j) {
                whole = std::floor(segment.counts[size_t(j)]) == segment.counts[size_t(j)];
            }
        });
    }
    return whole;
}

template <typename RowStart, typename RowEnd>
void SpectraArrays::fillMzAs(double* out, RowStart rowStart, RowEnd rowEnd) const {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    // Without RF control the chain is the calibration entry of the scan's phase cycle alone, the
    // same for every scan of that cycle: one row per cycle, computed once, serves them all.
    const bool rfControlled = massCal_ && (massCal_->controlMode() == TarGse::MassCal::RF_MON ||
                                           massCal_->controlMode() == TarGse::MassCal::RF_DAC);
    std::map<int, std::vector<double>> byPhaseCycle;
    for (size_t r = 0; r < scans_.size(); ++r) {
        const TarGse::ScanData* scan = scans_[r];
        double* row = out + rowStart(r);
        const int64_t n = massCal_ && scan ? countedBins_[r] : 0;
        if (n > 0) {
            const auto chain = [&] {
                return scan->getTransform(TarGse::ScanData::Bin, TarGse::ScanData::Mass, *massCal_);
            };
            if (rfControlled) {
                const auto transform = chain();
                for (int64_t k = 0; k < n; ++k) {
                    row[k] = transform->apply(double(k));
                }
            } else {
                std::vector<double>& shared = byPhaseCycle[scan->phaseCycle()];
                if (int64_t(shared.size()) < n) {
                    const auto transform = chain();
                    for (int64_t k = int64_t(shared.size()); k < n; ++k) {
                        shared.push_back(transform->apply(double(k)));
                    }
                }
                std::copy_n(shared.begin(), n, row);
            }
        }
        std::fill(row + n, out + rowEnd(r), nan);
    }
}

void SpectraArrays::fillMz(double* out, int64_t stride) const {
    checkStride(stride, width_);
    fillMzAs(
        out, [stride](size_t r) { return int64_t(r) * stride; },
        [stride](size_t r) { return int64_t(r + 1) * stride; });
}

void SpectraArrays::fillFlatMz(double* out) const {
    const std::vector<int64_t> starts = offsets();
    fillMzAs(
        out, [&starts](size_t r) { return starts[r]; },
        [&starts](size_t r) { return starts[r + 1]; });
}

std::vector<std::string> SpectraArrays::fillTable(double* reals, int64_t* ints,
                                                  const TarGse::MarkerCache& markers,
                                                  bool skipZeroIdMarkers) const {
    std::vector<std::string> texts;
    texts.reserve(scans_.size());
    for (size_t r = 0; r < scans_.size(); ++r) {
        double* real = reals + r * RealColumnCount;
        int64_t* integer = ints + r * IntColumnCount;
        std::fill(real, real + RealColumnCount, 0.0);
        std::fill(integer, integer + IntColumnCount, 0);
        const TarGse::ScanData* scan = scans_[r];
        if (!scan) {
            texts.emplace_back();
            continue;
        }
        real[RelativeTime] = scan->relativeTimestamp();
        real[UnixTime] = scan->unixTimestamp();
        real[CorrectedTic] = PythonStyleTarnScan::labCorrectedTotalIonCount(*scan);
        integer[Tic] = int(scan->ionCount(0, 0));
        integer[HighestCount] = int(scan->maxIonCount());
        integer[HighestCountBin] = scan->highestCountBin();
        integer[ScanMode] = scan->determineScanMode();
        integer[IonSource] = scan->ionSource();
        integer[SrcPktType] = scan->srcPktType;
        integer[SummedScans] = scan->numSummedScans;

        bool found = false;
        TarGse::MarkerData marker;
        const QList<int> indexes = scan->packetIndexes();
        if (!indexes.isEmpty() && indexes.last() >= 0) {
            marker = markers.getMarker(unsigned(indexes.last()), &found, skipZeroIdMarkers);
        }
        real[MarkerTime] = found ? marker.relativeTime : 0.0;
        integer[MarkerId] = found ? int(marker.markerId) : 0;
        texts.emplace_back(found ? marker.text : "");
    }
    return texts;
}

}  // namespace k814util
