#include <k814util/packetheadertable.h>

#include <vireolib/vireotelemetrycache.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace k814util {

namespace {

inline uint32_t be16(const unsigned char* p) {
    return (uint32_t(p[0]) << 8) | p[1];
}
inline uint32_t be32(const unsigned char* p) {
    return (be16(p) << 16) | be16(p + 2);
}

// The loop's own wording for bytes passed over.
std::string skippedLine(long from, long to) {
    return "Skipped " + std::to_string(to - from) + " bytes [" + std::to_string(from) + " - " +
           std::to_string(to) + "]";
}

// The structural check of a CCSDS primary header without a catalogue: version 0, telemetry,
// APID not 0 (idle packets of all-zero fill would otherwise count).
inline bool plausibleCcsdsHeader(const unsigned char* header) {
    const unsigned apid = ((header[0] & 0x07u) << 8) | header[1];
    return header[0] <= 15 && apid != 0;
}

}  // namespace

// A cache with no time resolver and no packets of its own: the reading loop feeds the table.
class PacketHeaderTable::Reader : public GseLib::TelemetryCache,
                                  private GseLib::TelemetryCache::Sink {
public:
    Reader(PacketHeaderTable& table, int format, bool withBytes, bool syncPrefix)
        : GseLib::TelemetryCache(nullptr),
          table_(table),
          withBytes_(withBytes),
          syncPrefix_(syncPrefix) {
        setPacketFormat(format);
        setSink(this);
        // The file is read once, as it is: a packet claiming more bytes than are left is damage,
        // not the end of a file still being written.
        setShortReadRetries(0);
    }

protected:
    // The VIREO frame sync check, on the bytes the loop has read ahead.
    size_t prefixWindow() const override {
        return syncPrefix_ ? VireoGse::VireoTelemetryCache::SYNC_WINDOW : 0;
    }
    size_t prefixLength(const unsigned char* bytes) const override {
        return syncPrefix_ ? VireoGse::VireoTelemetryCache::syncPrefixLength(bytes) : 0;
    }

    bool validHeader(const unsigned char* header) override {
        if (packetFormat() == Tom) {
            return true;  // the checksum decides
        }
        return plausibleCcsdsHeader(header);
    }

private:
    void packet(int format, const unsigned char* bytes, size_t size, long offset, bool, uint32_t,
                uint32_t) override {
        table_.add(format, bytes, size, offset, withBytes_);
    }

    void diagnostic(const char* line) override { table_.diagnostics_.emplace_back(line); }

    PacketHeaderTable& table_;
    bool withBytes_;
    bool syncPrefix_;
};

PacketHeaderTable::PacketHeaderTable(const std::string& path, int format, bool withBytes,
                                     bool syncPrefix) {
    if (format != GseLib::TelemetryCache::Tom && format != GseLib::TelemetryCache::Ccsds) {
        throw std::invalid_argument("unknown packet layout " + std::to_string(format));
    }
    // Opened here first so that a missing file is an error rather than an empty table.
    FILE* probe = std::fopen(path.c_str(), "rb");
    if (!probe) {
        throw std::runtime_error("cannot open " + path);
    }
    // Room for packets of 32 bytes on average (reserved, not touched, until used), so that a
    // large file of short packets seldom moves the rows.
    std::fseek(probe, 0, SEEK_END);
    const long fileSize = std::ftell(probe);
    std::fclose(probe);
    rows_.reserve(static_cast<size_t>(std::max(fileSize, 0L) / 32 + 16));
    if (withBytes) {
        bytes_.reserve(static_cast<size_t>(std::max(fileSize, 0L)));
    }
    long readTo = 0;
    {
        Reader reader(*this, format, withBytes,
                      syncPrefix && format == GseLib::TelemetryCache::Ccsds);
        reader.changeFile(path, true);
        readTo = reader.position();
    }
    readTail(path, readTo, fileSize, format, withBytes);
}

void PacketHeaderTable::add(int format, const unsigned char* bytes, size_t size, long offset,
                            bool withBytes) {
    Row row{offset, static_cast<uint32_t>(size), 0, 0, 0, 3, 0};
    if (format == GseLib::TelemetryCache::Tom) {
        row.type = bytes[0];  // with the GSE bit, which the package splits off
        row.sequenceCount = bytes[1];
        row.rawTimestamp = be32(bytes + 4);
    } else {
        row.type = static_cast<uint16_t>(((bytes[0] & 0x07) << 8) | bytes[1]);
        row.sequenceCount = static_cast<uint16_t>(be16(bytes + 2) & 0x3FFF);
        row.sequenceFlags = bytes[2] >> 6;
        row.secondaryHeader = (bytes[0] >> 3) & 1;
        // Seconds of the on-board clock, where a secondary header would hold them.
        row.rawTimestamp = size >= 10 ? be32(bytes + 6) : 0;
    }
    rows_.push_back(row);
    if (withBytes) {
        bytes_.insert(bytes_.end(), bytes, bytes + size);
    }
}

void PacketHeaderTable::readTail(const std::string& path, long from, long fileSize, int format,
                                 bool withBytes) {
    // Bytes after the last packet were never reported: the loop reports skipped bytes only when
    // a good packet follows them.
    const long lastEnd = rows_.empty() ? 0 : rows_.back().offset + long(rows_.back().length);
    long skipStart = lastEnd;
    // The loop stops short of the end only by less than its 20-byte look-ahead (or a TOM
    // header); anything more is a file that changed while it was read, and is left alone.
    std::vector<unsigned char> tail;
    if (format == GseLib::TelemetryCache::Ccsds && from < fileSize && fileSize - from < 20) {
        if (FILE* f = std::fopen(path.c_str(), "rb")) {
            tail.resize(static_cast<size_t>(fileSize - from));
            if (std::fseek(f, from, SEEK_SET) != 0 ||
                std::fread(tail.data(), 1, tail.size(), f) != tail.size()) {
                tail.clear();
            }
            std::fclose(f);
        }
    }
    size_t q = 0;
    while (q + 7 <= tail.size()) {
        const unsigned char* h = tail.data() + q;
        const size_t len = be16(h + 4) + 7;
        if (plausibleCcsdsHeader(h) && q + len <= tail.size()) {
            const long at = from + long(q);
            if (at > skipStart) {
                diagnostics_.push_back(skippedLine(skipStart, at));
            }
            add(format, h, len, at, withBytes);
            q += len;
            skipStart = from + long(q);
        } else {
            ++q;
        }
    }
    if (fileSize > skipStart) {
        diagnostics_.push_back(skippedLine(skipStart, fileSize));
    }
}

}  // namespace k814util

namespace k814util {

void PacketHeaderTable::copyColumns(int64_t* offset, int32_t* length, uint16_t* type,
                                    uint16_t* sequenceCount, uint8_t* sequenceFlags,
                                    uint8_t* secondaryHeader, uint32_t* rawTimestamp) const {
    for (size_t i = 0; i < rows_.size(); ++i) {
        const Row& r = rows_[i];
        offset[i] = r.offset;
        length[i] = static_cast<int32_t>(r.length);  // at most 65542 bytes
        type[i] = r.type;
        sequenceCount[i] = r.sequenceCount;
        sequenceFlags[i] = r.sequenceFlags;
        secondaryHeader[i] = r.secondaryHeader;
        rawTimestamp[i] = r.rawTimestamp;
    }
}

}  // namespace k814util
