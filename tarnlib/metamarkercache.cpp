#include <tarnlib/metamarkercache.h>

#include <gselib/config814.h>
#include <gselib/telemetrycache.h>
#include <gselib/telemetryfile.h>
#include <tarnlib/metamarkerrules.h>
#include <tools/logger/diagnostics.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <cstdio>
#include <stdexcept>

namespace TarGse {

namespace K = MetaMarkerJsonKeys;

MetaMarkerCache& MetaMarkerCache::getInstance() {
    static MetaMarkerCache instance;
    return instance;
}

MetaMarkerCache::MetaMarkerCache() {
    resetState();
}

MetaMarkerCache::~MetaMarkerCache() = default;

void MetaMarkerCache::resetState() {
    generators_.clear();
    file_ = std::make_shared<GseLib::TelemetryFile>();

    QString gse;
    try {
        gse = GseLib::Config814::getGsePath(GseLib::Config814::getDefaultGroup());
    } catch (const std::runtime_error&) {
        return;  // no configuration: no rules
    }
    if (gse.isEmpty()) {
        return;
    }
    const QDir folder(QDir::cleanPath(gse + QLatin1Char('/') + META_MARKER_RULE_FOLDER_NAME));
    const int tid = file_->tidString().toInt();
    QSet<int> ids;
    for (const QFileInfo& info :
         folder.entryInfoList(QStringList{QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
        if (!isValidMetamarkerRuleFile(info)) {
            GseLib::Diagnostics::reportf(GseLib::Diagnostics::Kind::Rules,
                                         "%s failed validation. Skipping it.",
                                         info.absoluteFilePath().toLocal8Bit().constData());
            continue;
        }
        QFile f(info.absoluteFilePath());
        if (!f.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QJsonArray rules =
            QJsonDocument::fromJson(f.readAll()).object().value(K::METAMARKERS).toArray();
        for (const QJsonValue& v : rules) {
            const QJsonObject rule = v.toObject();
            if (!tidsCover(rule.value(K::TIDS).toString(), tid)) {
                continue;
            }
            const int id = rule.value(K::METAMARKER_ID).toInt();
            if (ids.contains(id)) {
                GseLib::Diagnostics::reportf(GseLib::Diagnostics::Kind::Rules,
                                             "Skipping duplicate meta marker ID: %d", id);
                continue;
            }
            ids.insert(id);
            generators_.push_back(std::make_unique<JsonBasedMetaMarkerGenerator>(rule));
        }
    }
}

void MetaMarkerCache::refresh() {
    const GseLib::TelemetryCache* cache = GseLib::TelemetryFile::sharedCache();
    if (!cache || cache->size() == 0) {
        return;
    }
    const double endOfData = cache->packets().back()->relativeTime();
    while (GseLib::TMPacketPtr p = file_->getNext()) {
        for (const auto& g : generators_) {
            g->ingestPkt(p, endOfData);
        }
    }
}

void MetaMarkerCache::reload() {
    resetState();
    refresh();
}

QList<MetaMarker> MetaMarkerCache::getMetaMarkers() const {
    QList<MetaMarker> all;
    for (const auto& g : generators_) {
        for (MetaMarker m : g->metaMarkers()) {
            m.index = int(all.size());
            all.append(m);
        }
    }
    return all;
}

QList<MetaMarker> MetaMarkerCache::getMetaMarkers(double relativeTime) const {
    QList<MetaMarker> found;
    int position = 0;
    for (const auto& g : generators_) {
        for (MetaMarker m : g->metaMarkers()) {
            if (m.startRelativeTimeInSecs <= relativeTime &&
                relativeTime <= m.endRelativeTimeInSecs) {
                m.index = position;
                found.append(m);
            }
            ++position;
        }
    }
    return found;
}

}  // namespace TarGse
