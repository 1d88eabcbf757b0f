#include <tarnlib/tartelemetrycache.h>

#include <gselib/datainterpretation.h>
#include <tarnlib/tarntimeresolver.h>

namespace TarGse {

double TarTelemetryCache::ip_ = 0.0;

TarTelemetryCache::TarTelemetryCache(QObject* parent)
    : GseLib::TelemetryCache(new TarnTimeResolver, parent) {
    setPacketFormat(Tom);
}

bool TarTelemetryCache::validHeader(const unsigned char* header) {
    if (!GseLib::DataInterpretation::hasCurrent()) {
        return true;
    }
    return GseLib::DataInterpretation::current()->packetTypes().isValidLength(
        header[0], (header[2] << 8) | header[3]);
}

void TarTelemetryCache::hookPacket(const GseLib::TMPacketPtr& packet) {
    if (packet->type() != 22 || !GseLib::DataInterpretation::hasCurrent()) {
        return;
    }
    bool ok = false;
    const double v = GseLib::DataInterpretation::current()->getValue(
        86, packet.get(), Gse::ValueMode::Sci, &ok, true, nullptr);
    if (ok) {
        ip_ = v / 1e7;
    }
}

GseLib::TimeResolver* TarMissionSpecifics::makeTimeResolver() const {
    return new TarnTimeResolver;
}

}  // namespace TarGse
