#include <k814util/packettable.h>

#include <gselib/datainterpretation.h>
#include <gselib/telemetrycache.h>
#include <gselib/telemetryfile.h>
#include <gselib/tmpacket.h>
#include <tarnlib/markercache.h>

#include <QHash>
#include <memory>

namespace k814util {

PacketTable::PacketTable() {
    const GseLib::TelemetryCache* cache = GseLib::TelemetryFile::sharedCache();
    if (!cache) {
        return;
    }
    // A cursor of its own, as every file object has, so reading markers moves no one else's.
    GseLib::TelemetryFile cursor;
    TarGse::MarkerCache markers(&cursor);
    markers.refresh();
    const GseLib::DataInterpretation* di =
        GseLib::DataInterpretation::hasCurrent() ? GseLib::DataInterpretation::current() : nullptr;
    // Type names repeat: each is looked up once.
    QHash<int, std::string> names;

    const auto& packets = cache->packets();
    ints_.reserve(packets.size() * IntColumnCount);
    reals_.reserve(packets.size() * RealColumnCount);
    typeNames_.reserve(packets.size());
    for (const auto& packet : packets) {
        const int type = packet->type();
        auto name = names.find(type);
        if (name == names.end()) {
            name = names.insert(type, di ? di->packetTypes().info(type).name.toStdString()
                                         : std::string("Unknown packet"));
        }
        const double relative = packet->relativeTime();
        bool found = false;
        const TarGse::MarkerData marker = markers.getMarker(relative, &found, false);
        ints_.insert(ints_.end(),
                     {int64_t(packet->index()), int64_t(type), int64_t(packet->fullType()),
                      int64_t(packet->totalLength()), int64_t(packet->dataLength()),
                      int64_t(packet->sequence()), int64_t(packet->rawTimestamp()),
                      int64_t(packet->checksum()), int64_t(packet->isGseCreated() ? 1 : 0),
                      found ? int64_t(marker.markerId) : 0});
        reals_.push_back(packet->unixTime());
        reals_.push_back(relative);
        typeNames_.push_back(*name);
    }
}

}  // namespace k814util
