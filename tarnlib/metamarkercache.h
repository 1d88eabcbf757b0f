#pragma once

#include <tarnlib/metamarkergenerator.h>

#include <QList>
#include <memory>
#include <vector>

namespace GseLib {
class TelemetryFile;
}

namespace TarGse {

/**
 * @brief The meta-markers of the bound TARN telemetry file: one generator per rule of the
 * "MetaMarkerRules" folder that applies to the file's TID, fed with every packet once.
 */
class MetaMarkerCache {
public:
    /// The process's cache, loading the rules on first use.
    static MetaMarkerCache& getInstance();

    MetaMarkerCache();
    ~MetaMarkerCache();

    /// Forgets the generators, rewinds, and loads the rules of the default group's GSE path.
    void resetState();
    /// Feeds the packets not seen yet to every generator.
    void refresh();
    /// Starts over: resetState, then refresh.
    void reload();

    /// Every meta-marker of every generator, in generator order, indexed by position.
    QList<MetaMarker> getMetaMarkers() const;
    /// The meta-markers whose interval contains relativeTime, with their running positions.
    QList<MetaMarker> getMetaMarkers(double relativeTime) const;

    size_t generatorCount() const { return generators_.size(); }

private:
    std::shared_ptr<GseLib::TelemetryFile> file_;
    std::vector<std::unique_ptr<MetaMarkerGenerator>> generators_;
};

}  // namespace TarGse
