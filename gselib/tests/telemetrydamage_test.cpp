// The reader against damage and against real files: random garbage, flipped bytes and
// truncation in valid TOM and CCSDS streams (fixed seeds), and public CCSDS files whose packet
// counts are known independently.

#include <gselib/secondstimeresolvers.h>
#include <gselib/telemetrycache.h>
#include <gselib/tomchecksum.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <array>
#include <map>
#include <random>

using namespace GseLib;

namespace {

using Bytes = std::vector<uint8_t>;

class CatalogueCache : public TelemetryCache {
public:
    /// lengths: type -> data length, or -1 for any length.
    CatalogueCache(int format, std::map<int, int> lengths)
        : TelemetryCache(new UnixTimeResolver), lengths_(std::move(lengths)) {
        setPacketFormat(format);
    }

protected:
    bool validHeader(const unsigned char* h) override {
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

/// Reads path to the end, growing until the reader stops making progress (as a station
/// would keep calling grow on a file that no longer changes).
std::vector<TMPacketPtr> readAll(TelemetryCache& cache, const QString& path) {
    testing::internal::CaptureStderr();
    cache.changeFile(path.toStdString(), true);
    int idle = 0;
    while (idle < 8) {
        const size_t before = cache.size();
        const long at = cache.position();
        cache.grow();
        idle = cache.size() == before && cache.position() == at ? idle + 1 : 0;
    }
    testing::internal::GetCapturedStderr();
    return cache.packets();
}

struct Span {
    size_t begin, end;  // of a packet in the damaged file
    Bytes bytes;
    bool intact = true;
};

// A damaged stream: packets with random garbage inserted, bytes flipped and the end cut.
struct Damaged {
    Bytes file;
    std::vector<Span> spans;
};

Damaged damage(const std::vector<Bytes>& packets, std::mt19937& rng) {
    Damaged d;
    std::uniform_int_distribution<int> byte(0, 255);
    for (const Bytes& p : packets) {
        if (rng() % 8 == 0) {  // garbage before this packet
            const int n = 1 + int(rng() % 40);
            for (int i = 0; i < n; ++i)
                d.file.push_back(uint8_t(byte(rng)));
        }
        Span s{d.file.size(), d.file.size() + p.size(), p};
        d.file.insert(d.file.end(), p.begin(), p.end());
        if (rng() % 10 == 0) {  // a flipped byte inside
            d.file[s.begin + rng() % p.size()] ^= uint8_t(1 + rng() % 255);
            s.intact = false;
        }
        d.spans.push_back(s);
    }
    if (rng() % 2) {  // the station was still writing
        const size_t cut = d.file.size() - 1 - rng() % std::min<size_t>(d.file.size() - 1, 200);
        d.file.resize(cut);
        for (Span& s : d.spans) {
            if (s.end > cut)
                s.intact = false;
        }
    }
    return d;
}

QString writeTemp(const QTemporaryDir& dir, const Bytes& b) {
    const QString path = dir.filePath("damaged.tlm");
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(reinterpret_cast<const char*>(b.data()), qint64(b.size()));
    return path;
}

void expectIntactPacketsRecovered(const Damaged& d, const std::vector<TMPacketPtr>& got,
                                  int round) {
    // Every intact packet comes out, in order and byte for byte.
    size_t next = 0;
    for (const Span& s : d.spans) {
        if (!s.intact)
            continue;
        while (next < got.size() && *got[next]->bytes() != s.bytes)
            ++next;
        ASSERT_LT(next, got.size())
            << "round " << round << ": intact packet at " << s.begin << " not recovered";
        ++next;
    }
}

}  // namespace

TEST(ReaderDamage, TomStreamsNeverYieldBadPacketsAndKeepIntactOnes) {
    QTemporaryDir dir;
    for (int round = 0; round < 150; ++round) {
        std::mt19937 rng(1000 + round);
        std::vector<Bytes> packets;
        for (int i = 0; i < 40; ++i) {
            const int type = std::array<int, 3>{2, 3, 22}[rng() % 3];
            Bytes p = {uint8_t(type), uint8_t(i), 0, 0, 0, 0, uint8_t(i >> 8), uint8_t(i)};
            const size_t len = 1 + rng() % 90;
            p[2] = uint8_t(len >> 8);
            p[3] = uint8_t(len);
            for (size_t k = 0; k < len; ++k)
                p.push_back(uint8_t(rng()));
            const uint32_t sum = tom_checksum(p.data(), p.size());
            for (int s = 24; s >= 0; s -= 8)
                p.push_back(uint8_t(sum >> s));
            packets.push_back(p);
        }
        const Damaged d = damage(packets, rng);
        CatalogueCache cache(TelemetryCache::Tom, {{2, -1}, {3, -1}, {22, -1}});
        const auto got = readAll(cache, writeTemp(dir, d.file));
        for (const auto& p : got) {
            ASSERT_TRUE(correct_checksum(p->bytes()->data(), size_t(p->totalLength() - 4), false))
                << "round " << round;
        }
        expectIntactPacketsRecovered(d, got, round);
    }
}

TEST(ReaderDamage, CcsdsStreamsKeepIntactPackets) {
    QTemporaryDir dir;
    const std::map<int, int> lengths = {{700, 20}, {701, 40}, {702, 66}};
    for (int round = 0; round < 150; ++round) {
        std::mt19937 rng(5000 + round);
        std::vector<Bytes> packets;
        for (int i = 0; i < 40; ++i) {
            const int apid = 700 + int(rng() % 3);
            const int len = lengths.at(apid);
            Bytes p = {uint8_t(0x08 | (apid >> 8)), uint8_t(apid),
                       uint8_t(0xC0 | (i >> 8)),    uint8_t(i),
                       uint8_t((len - 1) >> 8),     uint8_t(len - 1)};
            for (int k = 0; k < len; ++k)
                p.push_back(uint8_t(rng()));
            packets.push_back(p);
        }
        const Damaged d = damage(packets, rng);
        CatalogueCache cache(TelemetryCache::Ccsds, lengths);
        const auto got = readAll(cache, writeTemp(dir, d.file));
        for (const auto& p : got) {
            ASSERT_TRUE(lengths.count(p->apid()));
            ASSERT_EQ(p->totalLength(), 6 + lengths.at(p->apid()));
        }
        expectIntactPacketsRecovered(d, got, round);
    }
}

// ---- public CCSDS files ------------------------------------------------------------------------

namespace {

struct PublicFile {
    const char* path;
    std::map<int, int> lengths;  // APID -> data length (-1: varies)
    std::map<int, int> counts;   // APID -> packets, from the files' documentation
};

}  // namespace

TEST(PublicCcsdsFiles, CountsAndApidsAsDocumented) {
    const QString root = qEnvironmentVariable("K814_CCSDS_DATA");
    if (root.isEmpty() || !QDir(root).exists()) {
        GTEST_SKIP() << "the public CCSDS files are not beside the repository";
    }
    const PublicFile files[] = {
        {"cygnss/CYGNSS_F7_L0_2022_086_10_15_V01_F__first101pkts.tlm",
         {{384, 254}, {386, 98}, {391, 1674}, {392, 162}, {393, 134}, {394, 70}, {1313, 266}},
         {{384, 4}, {386, 4}, {391, 1}, {392, 4}, {393, 40}, {394, 39}, {1313, 9}}},
        {"europa_clipper_ecm/ecm_raw2.bin",
         {{1216, 158}, {1217, 26}, {1219, 1502}, {1223, 1502}, {1227, 1502}, {1232, -1}},
         {{1216, 944}, {1217, 4}, {1219, 22}, {1223, 22}, {1227, 22}, {1232, 16}}},
        {"ctim/ccsds_2021_155_14_39_51",
         {{1, 108},
          {20, -1},
          {32, 28},
          {33, 92},
          {34, 152},
          {39, 140},
          {41, 1012},
          {42, 1012},
          {47, 1012}},
         {{1, 104}, {20, 6}, {32, 104}, {33, 1}, {34, 1}, {39, 1}, {41, 1147}, {42, 72}, {47, 63}}},
        {"jpss/J01_G011_LZ_2021-04-09T00-00-00Z_V01.DAT1", {{11, 65}}, {{11, 7200}}},
        {"hs_sim_apid895/SSAT1_2015-180-00-00-00_2015-180-01-59-56_895_1_sim.tlm",
         {{895, 28}},
         {{895, 71970}}},
        // A 4-byte marker precedes every packet: the reader skips it as damage.
        {"suda/sciData_2022_130_17_41_53.spl", {{1425, -1}}, {{1425, 13}}},
    };
    for (const PublicFile& f : files) {
        CatalogueCache cache(TelemetryCache::Ccsds, f.lengths);
        testing::internal::CaptureStderr();
        cache.changeFile((root + "/" + f.path).toStdString(), true);
        const std::string errors = testing::internal::GetCapturedStderr();
        std::map<int, int> counts;
        for (const auto& p : cache.packets())
            ++counts[p->apid()];
        EXPECT_EQ(counts, f.counts) << f.path;
        EXPECT_EQ(cache.position(), QFileInfo(root + "/" + f.path).size()) << f.path;
        if (QString(f.path).startsWith("suda")) {
            size_t skipped = 0;
            for (size_t at = errors.find("Skipped 4 bytes"); at != std::string::npos;
                 at = errors.find("Skipped 4 bytes", at + 1)) {
                ++skipped;
            }
            EXPECT_EQ(skipped, 13u);
        } else {
            EXPECT_EQ(errors, "") << f.path;
        }
        if (QString(f.path).startsWith("ctim")) {
            // Packet 159: APID 34, 158 bytes, SHCOARSE 481168702 (bytes 6-9).
            const TMPacketPtr p = cache.get(159);
            EXPECT_EQ(p->apid(), 34);
            EXPECT_EQ(p->totalLength(), 158);
            EXPECT_EQ(p->rawTimestamp(), 481168702u);
        }
    }
}
