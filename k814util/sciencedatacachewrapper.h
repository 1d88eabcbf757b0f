#pragma once

#include <k814util/pythonstyletarnscan.h>
#include <tarnlib/markercache.h>
#include <tarnlib/sciencedatacache.h>

#include <QSharedPointer>
#include <memory>

namespace GseLib {
class TelemetryFile;
}

namespace k814util {

/**
 * @brief The scans of the bound TARN telemetry file, as scripts see them: built once at
 * construction and handed out by index as self-contained scan objects.
 */
class ScienceDataCacheWrapper {
public:
    /**
     * Builds every scan of the bound file and reads the test's mass calibration.
     * @throw std::runtime_error when the process is not bound to a file
     */
    explicit ScienceDataCacheWrapper(bool skip_zero_id_markers = false,
                                     bool averageSummedScans = false);
    ~ScienceDataCacheWrapper();

    int size() const { return cache_.size(); }
    /// @throw std::out_of_range for an index outside [0, size())
    PythonStyleTarnScan get_scan(int scanIndex) const;
    bool has_gc_scans() const { return cache_.hasScansFromGcSource(); }
    bool has_ldi_scans() const { return cache_.hasScansFromLdiSource(); }
    /// The binding generation the scans were built in (see TMFile::_binding_generation).
    long long _binding_generation() const { return bindingGeneration_; }

#ifndef SWIG
    const TarGse::ScienceDataCache& cache() const {
        return cache_;
    }
    QSharedPointer<TarGse::MassCal> massCal() const {
        return massCal_;
    }
    /// The markers the scans handed out look up, and whether they skip markers of id 0.
    const TarGse::MarkerCache& markerCache() const {
        return markerCache_;
    }
    bool skipZeroIdMarkers() const {
        return skipZeroIdMarkers_;
    }
#endif

private:
    TarGse::ScienceDataCache cache_;
    std::shared_ptr<GseLib::TelemetryFile> markerCursor_;
    TarGse::MarkerCache markerCache_;
    bool skipZeroIdMarkers_ = false;
    QSharedPointer<TarGse::MassCal> massCal_;
    long long bindingGeneration_ = 0;
};

}  // namespace k814util
