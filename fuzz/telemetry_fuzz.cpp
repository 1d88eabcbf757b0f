// Fuzz target for the two reading loops. The first input byte picks the layout (even: TOM,
// odd: CCSDS); the rest is the telemetry file. The file is read, then grown until the reader
// stops making progress. Whatever the bytes, the reader must not crash, must not read or write
// out of bounds, and must never hand out a TOM packet whose checksum is wrong. Then the same
// bytes are written again in pieces (their size from the first byte), the way a station writes,
// by a follower that reads on only when the reader says a packet waits: that read must get on,
// and the follower must get the same packets as the whole file gave, up to where it stops (a
// packet cut at the end waits there).

#include <gselib/secondstimeresolvers.h>
#include <gselib/telemetrycache.h>
#include <gselib/tomchecksum.h>

#include <unistd.h>
#include <algorithm>
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

std::string scratchPath(const char* suffix = "") {
    return "/tmp/k814-fuzz-" + std::to_string(getpid()) + suffix + ".tlm";
}

// The packets a follower reads when it reads on only while the reader says one waits.
void followInPieces(int format, const uint8_t* bytes, size_t n, size_t piece,
                    const GseLib::TelemetryCache& whole) {
    const std::string path = scratchPath("-pieces");
    FILE* out = std::fopen(path.c_str(), "wb");
    FuzzCache cache(format);
    cache.changeFile(path, true);
    for (size_t at = 0; at < n; at += piece) {
        std::fwrite(bytes + at, 1, std::min(piece, n - at), out);
        std::fflush(out);
        // "A packet waits" must mean the read gets on: at once, or (a length field of 65535,
        // which no growth completes) once the reader's retries for it are used up.
        for (int rounds = 0, stuck = 0; rounds < 64 && cache.packetWaiting(); ++rounds) {
            const size_t before = cache.size();
            const long from = cache.position();
            cache.grow();
            stuck = cache.size() == before && cache.position() == from ? stuck + 1 : 0;
            if (stuck > 6) {
                std::abort();
            }
        }
    }
    std::fclose(out);
    // A station record is looked for only where a read starts (after a packet, or where the
    // last read stopped), not at every byte of a resynchronisation, so with one in the bytes
    // where the reads stopped decides what is found.
    static const char record[] = "C7333IA0";
    if (format == GseLib::TelemetryCache::Ccsds &&
        std::search(bytes, bytes + n, record, record + 8) != bytes + n) {
        return;
    }
    if (cache.size() > whole.size()) {
        std::abort();
    }
    for (size_t i = 0; i < cache.size(); ++i) {
        if (*cache.packets()[i]->bytes() != *whole.packets()[i]->bytes()) {
            std::abort();
        }
    }
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
    followInPieces(format, data + 1, size - 1, 1 + data[0] / 2 % 64, cache);
    return 0;
}
