#pragma once

#include <gselib/telemetrycache.h>

#include <cstdint>
#include <string>
#include <vector>

namespace k814util {

/**
 * @brief The packet headers of any TOM or CCSDS file, as columns, without a test directory,
 * configuration or database.
 *
 * The file goes through the telemetry cache's own reading loop (resynchronisation, station
 * wrapper records), which hands each packet's bytes to this table instead of making a packet
 * object; the loop's diagnostic lines are kept instead of printed. The file is taken as
 * finished: a packet claiming more bytes than are left is damage, and reading goes on after it.
 * With no packet-type catalogue, headers are checked only for their structure: a CCSDS header
 * is taken when its version and packet type are 0 (byte 0 at most 15, secondary-header flag
 * either way) and its APID is not 0; a TOM header always is, and its checksum decides.
 *
 * The loop leaves the last bytes of a file alone when they are too few for its look-ahead (it
 * waits for a file being written to grow); here the file is finished, so whole CCSDS packets
 * among them are read too, and whatever bytes follow the last packet are reported in a
 * "Skipped" line like any other damage: every byte of the file is either in a packet or in a
 * diagnostic.
 */
class PacketHeaderTable {
public:
    /// Reads the whole file at path; format is GseLib::TelemetryCache::Tom or ::Ccsds. With
    /// syncPrefix (CCSDS only), VIREO frame sync prefixes before headers are passed over.
    /// @throw std::invalid_argument for another format
    /// @throw std::runtime_error when the file cannot be opened
    PacketHeaderTable(const std::string& path, int format, bool withBytes, bool syncPrefix = false);

    size_t size() const { return rows_.size(); }
    /// Copies the columns, each size() long, to their arrays: offset int64, length int32,
    /// type and sequence count uint16, sequence flags and secondary-header flag uint8, raw
    /// timestamp uint32.
    void copyColumns(int64_t* offset, int32_t* length, uint16_t* type, uint16_t* sequenceCount,
                     uint8_t* sequenceFlags, uint8_t* secondaryHeader,
                     uint32_t* rawTimestamp) const;
    /// The packets' bytes one after another (empty unless asked for).
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    const std::vector<std::string>& diagnostics() const { return diagnostics_; }

private:
    class Reader;

    void add(int format, const unsigned char* bytes, size_t size, long offset, bool withBytes);
    void readTail(const std::string& path, long from, long fileSize, int format, bool withBytes);

    // One compact row per packet while reading (a third of the memory of separate int64
    // columns, and one append per packet); the columns are made when they are copied out.
    struct Row {
        int64_t offset;
        uint32_t length;
        uint32_t rawTimestamp;
        uint16_t type;
        uint16_t sequenceCount;
        uint8_t sequenceFlags;
        uint8_t secondaryHeader;
    };

    std::vector<Row> rows_;
    std::vector<uint8_t> bytes_;
    std::vector<std::string> diagnostics_;
};

}  // namespace k814util
