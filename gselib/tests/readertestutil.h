#pragma once

// Byte-level builders for telemetry files: packets with valid checksums, and a reader whose
// header check and clock tests control.

#include <gselib/secondstimeresolvers.h>
#include <gselib/telemetrycache.h>
#include <gselib/tomchecksum.h>

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace testutil {

using namespace GseLib;

using Bytes = std::vector<uint8_t>;

inline Bytes tomPacket(int type, int seq, uint32_t ticks, const Bytes& data) {
    Bytes p = {uint8_t(type),        uint8_t(seq),         uint8_t(data.size() >> 8),
               uint8_t(data.size()), uint8_t(ticks >> 24), uint8_t(ticks >> 16),
               uint8_t(ticks >> 8),  uint8_t(ticks)};
    p.resize(8 + data.size());
    std::copy(data.begin(), data.end(), p.begin() + 8);
    const uint32_t sum = tom_checksum(p.data(), p.size());
    for (int s = 24; s >= 0; s -= 8)
        p.push_back(uint8_t(sum >> s));
    return p;
}

inline Bytes ccsdsPacket(int apid, int seq, uint32_t seconds, const Bytes& data) {
    const size_t field = 6 + data.size() - 1;
    Bytes p = {uint8_t(0x08 | (apid >> 8)),
               uint8_t(apid),
               uint8_t(0xC0 | (seq >> 8)),
               uint8_t(seq),
               uint8_t(field >> 8),
               uint8_t(field),
               uint8_t(seconds >> 24),
               uint8_t(seconds >> 16),
               uint8_t(seconds >> 8),
               uint8_t(seconds),
               0,
               0};
    p.insert(p.end(), data.begin(), data.end());
    return p;
}

inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

/// A reader with a fixed catalogue of (type -> data length, -1 for any) for its header check;
/// an empty catalogue accepts every header. Unix seconds come straight from the raw timestamp
/// unless another resolver is given.
class TestCache : public TelemetryCache {
public:
    TestCache(int format, std::map<int, int> lengths = {}, TimeResolver* resolver = nullptr)
        : TelemetryCache(resolver ? resolver : new UnixTimeResolver), lengths_(std::move(lengths)) {
        setPacketFormat(format);
    }

protected:
    bool validHeader(const unsigned char* h) override {
        if (lengths_.empty())
            return true;
        const bool tom = packetFormat() == Tom;
        const int type = tom ? h[0] : ((h[0] & 7) << 8) | h[1];
        const int length = tom ? (h[2] << 8) | h[3] : (((h[4] << 8) | h[5]) + 1) & 0xFFFF;
        if (!tom && (h[0] & 0xF0) != 0)
            return false;  // version 0 telemetry only
        const auto it = lengths_.find(type);
        return it != lengths_.end() && (it->second < 0 || it->second == length);
    }

private:
    std::map<int, int> lengths_;
};

/// A ground-station wrapper record of n bytes after its 40-byte head ("GANN" keeps the receipt
/// time at byte 24, "FANN" at byte 32).
inline Bytes wrapperRecord(const char* variant, int n, uint32_t seconds = 0, uint16_t ms = 0) {
    const std::string head = std::string("C7333IA0") + variant, len = std::to_string(n);
    Bytes r(head.begin(), head.end());
    r.resize(20 - len.size(), ' ');
    r.insert(r.end(), len.begin(), len.end());
    r.resize(size_t(40 + std::max(n, 0)), 0);
    const size_t at = variant[0] == 'G' ? 24 : 32;
    for (int i = 0; i < 4; ++i)
        r[at + size_t(i)] = uint8_t(seconds >> (24 - 8 * i));
    r[at + 4] = uint8_t(ms >> 8);
    r[at + 5] = uint8_t(ms);
    return r;
}

struct File {
    QTemporaryDir dir;
    std::string path = dir.filePath("run.tlm").toStdString();
    void write(const Bytes& b, bool append = false) {
        QFile f(QString::fromStdString(path));
        f.open(append ? QIODevice::Append : QIODevice::WriteOnly);
        f.write(reinterpret_cast<const char*>(b.data()), qint64(b.size()));
    }
};

}  // namespace testutil
