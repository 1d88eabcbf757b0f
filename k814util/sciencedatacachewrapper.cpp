#include <k814util/sciencedatacachewrapper.h>

#include <gselib/telemetrycache.h>
#include <gselib/telemetryfile.h>
#include <gselib/tmmeta.h>
#include <k814util/binding.h>
#include <k814util/k814util.h>
#include <tarnlib/masscal.h>

#include <QDir>
#include <QFileInfo>
#include <stdexcept>

namespace k814util {

ScienceDataCacheWrapper::ScienceDataCacheWrapper(bool skip_zero_id_markers, bool averageSummedScans)
    : markerCursor_(std::make_shared<GseLib::TelemetryFile>()),
      markerCache_(markerCursor_.get()),
      skipZeroIdMarkers_(skip_zero_id_markers) {
    if (!k814utilIsInitialized) {
        throw std::runtime_error(
            "k814util is not initialized, did you call the ScienceDataCacheWrapper constructor "
            "manually instead of relying on the factory functions?");
    }
    bindingGeneration_ = Binding::instance().generation();
    cache_.setAverageSummedScans(averageSummedScans);
    cache_.refresh();
    // The markers each scan looks up: collected once, with the scans.
    markerCache_.refresh();

    massCal_ = QSharedPointer<TarGse::MassCal>::create();
    const GseLib::TelemetryCache* shared = GseLib::TelemetryFile::sharedCache();
    const QFileInfo file(QString::fromStdString(shared ? shared->fileName() : std::string()));
    const QString canonical = file.absoluteDir().canonicalPath();
    const QString dir = canonical.isEmpty() ? file.absolutePath() : canonical;
    TarGse::initializeMassCal(*massCal_, GseLib::TmMeta(dir), dir);
}

ScienceDataCacheWrapper::~ScienceDataCacheWrapper() = default;

PythonStyleTarnScan ScienceDataCacheWrapper::get_scan(int scanIndex) const {
    if (scanIndex < 0 || scanIndex >= cache_.size()) {
        throw std::out_of_range("get_scan was passed an invalid scan index.");
    }
    return PythonStyleTarnScan(cache_.scan(scanIndex).get(), &markerCache_, massCal_,
                               skipZeroIdMarkers_);
}

}  // namespace k814util
