#include <vireolib/vireotelemetrycache.h>

#include <gselib/datainterpretation.h>
#include <vireolib/vireotimeresolver.h>

namespace VireoGse {

namespace {
uint32_t be32(const unsigned char* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
}  // namespace

VireoTelemetryCache::VireoTelemetryCache(QObject* parent)
    : GseLib::TelemetryCache(new VireoTimeResolver, parent) {
    setPacketFormat(Ccsds);
}

void VireoTelemetryCache::beforeParseCcsds(FILE* stream) {
    const long start = std::ftell(stream);
    unsigned char b[8];
    if (std::fread(b, 1, 8, stream) < 8) {
        return;
    }
    unsigned char rest[5];
    if (be32(b) == SYNC_WORD) {
        std::fread(rest, 1, 2, stream);
    } else if (be32(b + 2) == SYNC_WORD) {
        std::fread(rest, 1, 4, stream);
    } else if (be32(b + 3) == SYNC_WORD) {
        std::fread(rest, 1, 5, stream);
    } else {
        std::fseek(stream, start, SEEK_SET);
    }
}

bool VireoTelemetryCache::validHeader(const unsigned char* header) {
    if (!GseLib::DataInterpretation::hasCurrent()) {
        return true;
    }
    const int apid = ((header[0] & 0x07) << 8) | header[1];
    const int length = (((header[4] << 8) | header[5]) + 1) & 0xFFFF;
    return GseLib::DataInterpretation::current()->packetTypes().isValidLength(apid, length);
}

}  // namespace VireoGse
