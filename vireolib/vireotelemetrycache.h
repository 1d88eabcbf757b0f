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

protected:
    /// Skips a frame sync prefix (the sync word and 6 more bytes) found in the next 8 bytes.
    void beforeParseCcsds(FILE* stream) override;
    bool usesBeforeParseCcsds() const override { return true; }
    /// The packet-type catalogue accepts (APID, data length).
    bool validHeader(const unsigned char* header) override;
};

}  // namespace VireoGse
