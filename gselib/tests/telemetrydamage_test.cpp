// The reader against damage and against real files: random garbage, flipped bytes and
// truncation in valid TOM and CCSDS streams (fixed seeds), and public CCSDS files whose packet
// counts are known independently.

#include <gselib/secondstimeresolvers.h>
#include <gselib/telemetrycache.h>
#include <gselib/tomchecksum.h>

#include "readertestutil.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <array>
#include <functional>
#include <random>

using namespace testutil;

namespace {

/// Reads path to the end, growing until the reader stops making progress (as a station
/// would keep calling grow on a file that no longer changes).
std::vector<TMPacketPtr> readAll(TelemetryCache& cache, const std::string& path) {
    testing::internal::CaptureStderr();
    cache.changeFile(path, true);
    for (int idle = 0; idle < 8;) {
        const size_t before = cache.size();
        const long at = cache.position();
        cache.grow();
        idle = cache.size() == before && cache.position() == at ? idle + 1 : 0;
    }
    testing::internal::GetCapturedStderr();
    return cache.packets();
}

// 150 rounds of 40 packets with random garbage inserted, bytes flipped and (every other round)
// the end cut, as a station still writing leaves it. Every packet read must pass check, and
// every intact packet comes out, in order and byte for byte.
void damageRounds(int format, std::map<int, int> lengths, uint32_t seed,
                  const std::function<Bytes(std::mt19937&, int)>& make,
                  const std::function<bool(const TMPacket&)>& check) {
    File file;
    for (int round = 0; round < 150; ++round) {
        std::mt19937 rng(seed + uint32_t(round));
        Bytes bytes;
        std::vector<std::pair<size_t, Bytes>> intact;  // end in the file, packet
        for (int i = 0; i < 40; ++i) {
            if (rng() % 8 == 0) {
                for (int n = 1 + int(rng() % 40); n > 0; --n)
                    bytes.push_back(uint8_t(rng()));
            }
            const Bytes p = make(rng, i);
            const size_t begin = bytes.size();
            bytes.insert(bytes.end(), p.begin(), p.end());
            if (rng() % 10 == 0)
                bytes[begin + rng() % p.size()] ^= uint8_t(1 + rng() % 255);
            else
                intact.emplace_back(bytes.size(), p);
        }
        if (rng() % 2)
            bytes.resize(bytes.size() - 1 - rng() % std::min<size_t>(bytes.size() - 1, 200));
        file.write(bytes);
        TestCache cache(format, lengths);
        const auto got = readAll(cache, file.path);
        for (const auto& p : got)
            ASSERT_TRUE(check(*p)) << "round " << round;
        size_t next = 0;
        for (const auto& [end, p] : intact) {
            if (end > bytes.size())
                continue;
            while (next < got.size() && *got[next]->bytes() != p)
                ++next;
            ASSERT_LT(next++, got.size()) << "round " << round << ": intact packet not recovered";
        }
    }
}

}  // namespace

TEST(ReaderDamage, TomStreamsNeverYieldBadPacketsAndKeepIntactOnes) {
    damageRounds(
        TelemetryCache::Tom, {{2, -1}, {3, -1}, {22, -1}}, 1000,
        [](std::mt19937& rng, int i) {
            Bytes data(1 + rng() % 90);
            for (uint8_t& b : data)
                b = uint8_t(rng());
            return tomPacket(std::array<int, 3>{2, 3, 22}[rng() % 3], i, uint32_t(i), data);
        },
        [](const TMPacket& p) {
            return correct_checksum(p.bytes()->data(), size_t(p.totalLength() - 4), false);
        });
}

TEST(ReaderDamage, CcsdsStreamsKeepIntactPackets) {
    const std::map<int, int> lengths = {{700, 20}, {701, 40}, {702, 66}};
    damageRounds(
        TelemetryCache::Ccsds, lengths, 5000,
        [&](std::mt19937& rng, int i) {
            const int apid = 700 + int(rng() % 3);
            Bytes data(size_t(lengths.at(apid) - 6));  // after the 6-byte secondary header
            for (uint8_t& b : data)
                b = uint8_t(rng());
            return ccsdsPacket(apid, i, rng(), data);
        },
        [&](const TMPacket& p) {
            return lengths.count(p.apid()) && p.totalLength() == 6 + lengths.at(p.apid());
        });
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
        TestCache cache(TelemetryCache::Ccsds, f.lengths);
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
