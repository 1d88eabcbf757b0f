#include <k814util/tmfile.h>

#include <gselib/telemetrycache.h>
#include <gselib/telemetryfile.h>
#include <gselib/timeresolver.h>
#include <k814util/binding.h>
#include <k814util/k814util.h>
#include <tarnlib/masscal.h>
#include <tarnlib/metamarkercache.h>

#include <QDir>
#include <QFileInfo>
#include <stdexcept>

namespace k814util {

namespace {

const GseLib::TelemetryCache* cache() {
    return GseLib::TelemetryFile::sharedCache();
}

}  // namespace

TMFile::TMFile(const std::string& filename)
    : filename_(filename),
      telemetryFile_(std::make_shared<GseLib::TelemetryFile>()),
      markerCursor_(std::make_shared<GseLib::TelemetryFile>()),
      markerCache_(markerCursor_.get()) {
    if (!k814utilIsInitialized) {
        throw std::runtime_error(
            "k814util is not initialized, did you call the TMFile constructor manually instead "
            "of relying on the factory functions?");
    }
    if (!exists()) {
        throw std::runtime_error("TMFile was given a nonexistent file!");
    }
    tmMeta_.setDirectoryPath(QString::fromStdString(absolute_directory()), true);
    bindingGeneration_ = Binding::instance().generation();
}

TMFile::~TMFile() = default;

bool TMFile::_adopt_binding() {
    const Binding& binding = Binding::instance();
    const QString mine = QFileInfo(QString::fromStdString(filename_)).absoluteFilePath();
    if (!binding.isBound() || binding.current().absolutePath != mine) {
        return false;
    }
    bindingGeneration_ = binding.generation();
    return true;
}

std::string TMFile::absolute_directory() const {
    const QFileInfo file(QString::fromStdString(filename_));
    const QString canonical = file.absoluteDir().canonicalPath();
    return (canonical.isEmpty() ? file.absolutePath() : canonical).toStdString();
}

std::string TMFile::directory_string() const {
    if (tmMeta_.isValid()) {
        return tmMeta_.tidDir().toStdString();
    }
    const GseLib::TelemetryCache* c = cache();
    if (c && c->size() > 0) {
        const QString message =
            QString::fromLatin1(TMPacket(c->packets().front(), nullptr).raw_message());
        if (message.contains(QLatin1String("Data directory:"))) {
            const qsizetype newline = message.indexOf(QLatin1Char('\n'));
            const QString path =
                message.mid(16, newline < 0 ? -1 : std::max<qsizetype>(newline - 16, 0));
            return QFileInfo(path.trimmed()).fileName().toStdString();
        }
    }
    const QStringList parts =
        QString::fromStdString(absolute_directory()).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return parts.isEmpty() ? std::string() : parts.back().toStdString();
}

std::string TMFile::get_mcal_filename() const {
    const QString dir = QString::fromStdString(absolute_directory());
    TarGse::MassCal cal;
    TarGse::initializeMassCal(cal, GseLib::TmMeta(dir), dir);
    return QFileInfo(cal.filePath()).fileName().toStdString();
}

int64_t TMFile::file_size() const {
    const QFileInfo file(QString::fromStdString(filename_));
    return file.exists() ? file.size() : 0;
}

int TMFile::tid() const {
    if (tmMeta_.isValid()) {
        return tmMeta_.tid();
    }
    const QStringList parts =
        QString::fromStdString(directory_string()).split(QLatin1Char('-'), Qt::SkipEmptyParts);
    if (parts.size() < 5) {
        return 0;
    }
    bool ok = false;
    const int tid = parts[4].toInt(&ok, 10);
    return ok ? tid : 0;
}

int TMFile::length() const {
    const GseLib::TelemetryCache* c = cache();
    return c ? int(c->size()) : 0;
}

bool TMFile::exists() const {
    return !filename_.empty() && QFileInfo::exists(QString::fromStdString(filename_));
}

std::string TMFile::model() const {
    return tmMeta_.isValid() ? tmMeta_.model().toStdString() : std::string("unknown");
}

TMPacket TMFile::get_pkt(int index) {
    const GseLib::TelemetryCache* c = cache();
    if (!c || index < 0 || index >= int(c->size())) {
        throw std::out_of_range("get_pkt was passed an invalid index.");
    }
    // Markers the station appended since the last request are picked up here.
    markerCache_.refresh();
    return TMPacket(c->packets()[size_t(index)], &markerCache_);
}

double TMFile::t0_in_unix_time() const {
    const GseLib::TelemetryCache* c = cache();
    return c && c->timeResolver() ? c->timeResolver()->unixTimeOfT0() : 0.0;
}

int TMFile::t0_in_sclk() const {
    const GseLib::TelemetryCache* c = cache();
    return c && c->timeResolver() ? static_cast<int>(c->timeResolver()->ticksOfT0()) : 0;
}

bool TMFile::is_time_synced() const {
    const GseLib::TelemetryCache* c = cache();
    return c && c->timeResolver() && c->timeResolver()->isSynced();
}

std::vector<TarGse::MetaMarker> TMFile::get_meta_markers() const {
    TarGse::MetaMarkerCache& metaMarkers = TarGse::MetaMarkerCache::getInstance();
    metaMarkers.refresh();
    const QList<TarGse::MetaMarker> all = metaMarkers.getMetaMarkers();
    return std::vector<TarGse::MetaMarker>(all.begin(), all.end());
}

}  // namespace k814util
