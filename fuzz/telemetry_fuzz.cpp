// Fuzz target for the two reading loops. The first input byte picks the layout (even: TOM,
// odd: CCSDS); the rest is the telemetry file. The file is read, then grown until the reader
// stops making progress. Whatever the bytes, the reader must not crash, must not read or write
// out of bounds, and must never hand out a TOM packet whose checksum is wrong.

#include <gselib/secondstimeresolvers.h>
#include <gselib/telemetrycache.h>
#include <gselib/tomchecksum.h>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Accepts TOM types 2, 3, 22 and CCSDS APIDs 700-702 of any length, so the fuzzer reaches
// the packet paths as well as the resynchronisation.
class FuzzCache : public GseLib::TelemetryCache {
public:
    explicit FuzzCache(int format) : TelemetryCache(new GseLib::UnixTimeResolver) {
        setPacketFormat(format);
        setMaxScanBytes(4096);
    }

protected:
    bool validHeader(const unsigned char* h) override {
        if (packetFormat() == Tom) {
            return h[0] == 2 || h[0] == 3 || h[0] == 22;
        }
        const int apid = ((h[0] & 7) << 8) | h[1];
        return (h[0] & 0xF0) == 0 && apid >= 700 && apid <= 702;
    }
};

std::string scratchPath() {
    static const std::string path = "/tmp/k814-fuzz-" + std::to_string(getpid()) + ".tlm";
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const int format = (data[0] & 1) ? GseLib::TelemetryCache::Ccsds : GseLib::TelemetryCache::Tom;
    FILE* f = std::fopen(scratchPath().c_str(), "wb");
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);

    FuzzCache cache(format);
    cache.changeFile(scratchPath(), true);
    for (int idle = 0, rounds = 0; idle < 7 && rounds < 64; ++rounds) {
        const size_t before = cache.size();
        const long at = cache.position();
        cache.grow();
        idle = cache.size() == before && cache.position() == at ? idle + 1 : 0;
    }
    for (const auto& p : cache.packets()) {
        if (format == GseLib::TelemetryCache::Tom &&
            !GseLib::correct_checksum(p->bytes()->data(), size_t(p->totalLength() - 4), false)) {
            std::abort();
        }
    }
    return 0;
}
