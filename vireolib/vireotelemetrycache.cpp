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

size_t VireoTelemetryCache::syncPrefixLength(const unsigned char* bytes) {
    // The prefix is 10 bytes from the sync word on; offset 1 is never looked at.
    if (be32(bytes) == SYNC_WORD) {
        return 10;
    }
    if (be32(bytes + 2) == SYNC_WORD) {
        return 12;
    }
    if (be32(bytes + 3) == SYNC_WORD) {
        return 13;
    }
    return 0;
}

void VireoTelemetryCache::beforeParseCcsds(FILE* stream) {
    const long start = std::ftell(stream);
    unsigned char b[SYNC_WINDOW];
    if (std::fread(b, 1, SYNC_WINDOW, stream) < SYNC_WINDOW) {
        return;
    }
    const size_t skip = syncPrefixLength(b);
    if (skip == 0) {
        std::fseek(stream, start, SEEK_SET);
        return;
    }
    // Read on to the header. A short read leaves the stream at the end of the file, where the
    // reader's header read fails and the packet waits for the file to grow.
    unsigned char rest[MAX_PREFIX];
    static_cast<void>(std::fread(rest, 1, skip - SYNC_WINDOW, stream));
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
