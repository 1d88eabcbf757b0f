#pragma once

#include <gselib/telemetrycache.h>

namespace VireoGse {

/**
 * @brief The VIREO telemetry file reader: CCSDS packets, possibly behind station wrapper records
 * and frame sync prefixes, timed by `VireoTimeResolver`.
 */
class VireoTelemetryCache : public GseLib::TelemetryCache {
    Q_OBJECT
public:
    static constexpr uint32_t SYNC_WORD = 0xFEFA30C8;

    explicit VireoTelemetryCache(QObject* parent = nullptr);

    /// Bytes the frame sync check looks at where a primary header would start.
    static constexpr size_t SYNC_WINDOW = 8;

    /// The length of a frame sync prefix (the sync word and 6 more bytes) whose sync word
    /// starts at offset 0, 2 or 3 of bytes (SYNC_WINDOW of them); 0 when there is none.
    static size_t syncPrefixLength(const unsigned char* bytes);

protected:
    /// Skips a frame sync prefix found in the next 8 bytes; otherwise leaves the stream where
    /// it was.
    void beforeParseCcsds(FILE* stream) override;
    bool usesBeforeParseCcsds() const override { return true; }
    /// The reader checks for the prefix in the bytes it has already read ahead.
    size_t prefixWindow() const override { return SYNC_WINDOW; }
    size_t prefixLength(const unsigned char* bytes) const override {
        return syncPrefixLength(bytes);
    }
    /// The packet-type catalogue accepts (APID, data length).
    bool validHeader(const unsigned char* header) override;
};

}  // namespace VireoGse
