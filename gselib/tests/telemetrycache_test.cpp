#include <gselib/secondstimeresolvers.h>
#include <gselib/telemetryfile.h>
#include <gselib/tomchecksum.h>

#include "enginetestutil.h"
#include "readertestutil.h"

#include <gtest/gtest.h>

#include <QFile>
#include <chrono>
#include <map>
#include <random>
#include <set>
#include <stdexcept>

using namespace GseLib;

namespace {

using namespace testutil;

std::string read(TelemetryCache& cache, const std::string& path) {
    testing::internal::CaptureStderr();
    cache.changeFile(path, true);
    return testing::internal::GetCapturedStderr();
}

std::string grow(TelemetryCache& cache) {
    testing::internal::CaptureStderr();
    cache.grow();
    return testing::internal::GetCapturedStderr();
}

}  // namespace

TEST(TelemetryCache, TomResynchronisesAfterGarbage) {
    File f;
    const Bytes a = tomPacket(2, 0, 100, {1, 2, 3});
    const Bytes b = tomPacket(22, 1, 101, Bytes(40, 7));
    f.write(cat({a, {0xDE, 0xAD, 0x99}, b}));
    TestCache cache(TelemetryCache::Tom, {{2, 3}, {22, 40}});
    const std::string errors = read(cache, f.path);
    ASSERT_EQ(cache.size(), 2u);
    EXPECT_EQ(*cache.get(1)->bytes(), b);
    const long p = long(a.size() + 3);
    // One line per garbage byte whose header the catalogue refuses, then the summary.
    EXPECT_EQ(errors,
              "Invalid header - type: 222 length: 39190\nInvalid header - type: 173 length: 5633\n"
              "Invalid header - type: 153 length: 256\nSkipped 3 bytes [" +
                  std::to_string(p - 3) + " - " + std::to_string(p) + "]\n");
    EXPECT_EQ(cache.get(2), nullptr);
    EXPECT_EQ(cache.get(1)->index(), 1);
    EXPECT_EQ(cache.position(), long(a.size() + 3 + b.size()));
}

TEST(TelemetryCache, TomBadChecksumSkipsWithoutInvalidHeaderLine) {
    File f;
    Bytes bad = tomPacket(22, 0, 100, Bytes(10, 1));
    bad[10] ^= 1;
    const Bytes good = tomPacket(22, 1, 101, Bytes(10, 2));
    f.write(cat({bad, good}));
    TestCache cache(TelemetryCache::Tom, {{22, 10}});
    const std::string errors = read(cache, f.path);
    ASSERT_EQ(cache.size(), 1u);
    EXPECT_EQ(*cache.get(0)->bytes(), good);
    // Every later byte of the bad packet fails the header check; its first byte does not.
    EXPECT_EQ(errors.find("Invalid header - type: 22 length: 10"), std::string::npos) << errors;
    EXPECT_NE(errors.find("Invalid header - type: 0 length: "), std::string::npos);
    EXPECT_NE(errors.find("Skipped 22 bytes [0 - 22]\n"), std::string::npos) << errors;
}

TEST(TelemetryCache, TomPartialPacketBacksUpFiveTimesThenSkips) {
    File f;
    const Bytes a = tomPacket(2, 0, 100, {1, 2, 3});
    const Bytes b = tomPacket(2, 1, 101, Bytes(30, 5));
    f.write(cat({a, Bytes(b.begin(), b.begin() + 20)}));
    TestCache cache(TelemetryCache::Tom);
    std::string errors = read(cache, f.path);
    EXPECT_EQ(cache.size(), 1u);
    const std::string backUp =
        "Read partial packet...backing up to index " + std::to_string(a.size()) + "\n";
    EXPECT_EQ(errors, backUp);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(grow(cache), backUp) << i;
    }
    // The sixth consecutive short read gives the bytes up and resynchronises past them.
    errors = grow(cache);
    EXPECT_EQ(errors.rfind("Could not read 34 bytes from file...skipping ahead 1 byte\n", 0), 0u)
        << errors;
    EXPECT_EQ(cache.size(), 1u);
}

TEST(TelemetryCache, GrowingTomFile) {
    File f;
    const Bytes a = tomPacket(2, 0, 100, {1});
    const Bytes b = tomPacket(3, 1, 102, {2, 2});
    f.write(cat({a, Bytes(b.begin(), b.begin() + 5)}));
    TestCache cache(TelemetryCache::Tom);
    read(cache, f.path);
    EXPECT_EQ(cache.size(), 1u);  // fewer than 8 bytes of b: nothing to say yet
    f.write(Bytes(b.begin() + 5, b.end()), true);
    EXPECT_EQ(grow(cache), "");
    ASSERT_EQ(cache.size(), 2u);
    EXPECT_EQ(cache.get(1)->unixTime(), 102.0);
    EXPECT_EQ(cache.get(1)->relativeTime(), 2.0);
}

// Packets of up to 60 KB straddle the ends of the reader's 640 KiB buffer, some behind
// garbage, and the file is first cut inside a packet beyond the first buffer's worth: every
// packet must come out whole, in order, with its own bytes, and the cut one after the append.
TEST(TelemetryCache, TomPacketsAcrossTheBufferEnd) {
    std::mt19937 rng(17);
    Bytes stream;
    std::vector<Bytes> packets;
    while (stream.size() < 3 * TelemetryCache::PACKET_BUFFER_SIZE) {
        if (rng() % 9 == 0)
            stream.insert(stream.end(), {0xDE, 0xAD, 0x00, 0x01, 0x02});
        Bytes data(rng() % 4 == 0 ? 30000 + rng() % 30000 : 1 + rng() % 300);
        for (uint8_t& b : data)
            b = uint8_t(rng());
        packets.push_back(
            tomPacket(22, int(packets.size() & 0xFF), uint32_t(packets.size()), data));
        stream.insert(stream.end(), packets.back().begin(), packets.back().end());
    }
    // The cut falls 7 bytes into the last packet that starts past the first buffer's worth.
    const size_t cut = stream.size() - packets.back().size() + 7;
    ASSERT_GT(cut, TelemetryCache::PACKET_BUFFER_SIZE);
    File f;
    f.write(Bytes(stream.begin(), stream.begin() + long(cut)));
    TestCache cache(TelemetryCache::Tom, {{22, -1}});
    read(cache, f.path);
    ASSERT_EQ(cache.size(), packets.size() - 1);
    EXPECT_EQ(cache.position(), long(cut - 7));
    f.write(Bytes(stream.begin() + long(cut), stream.end()), true);
    grow(cache);
    ASSERT_EQ(cache.size(), packets.size());
    for (size_t i = 0; i < packets.size(); ++i) {
        ASSERT_EQ(*cache.get(unsigned(i))->bytes(), packets[i]) << i;
        ASSERT_EQ(cache.get(unsigned(i))->unixTime(), double(i)) << i;
    }
    EXPECT_EQ(cache.position(), long(stream.size()));
}

namespace {

struct ProgressReport {
    long long done, total, packets;
};

// Installs a progress report that records into a list for as long as it lives.
struct RecordProgress {
    std::vector<ProgressReport> reports;
    TelemetryCache::Progress previous;
    explicit RecordProgress(std::chrono::steady_clock::duration interval, bool throwing = false) {
        previous = TelemetryCache::setProgress(
            [this, throwing](long long done, long long total, long long packets) {
                reports.push_back({done, total, packets});
                if (throwing)
                    throw std::runtime_error("report failed");
            },
            interval);
    }
    ~RecordProgress() { TelemetryCache::setProgress(previous); }
};

}  // namespace

TEST(TelemetryCache, ProgressReportsAreConsistentWithThePacketsRead) {
    // 2000 packets of 20 to 59 bytes, 4 garbage bytes before every 100th: at any report, the
    // bytes done must be the end of the last packet counted, or lie in the garbage after it.
    Bytes stream;
    std::vector<long long> ends;        // offset after packet i
    std::vector<long long> nextStarts;  // offset where packet i begins
    for (int i = 0; i < 2000; ++i) {
        if (i % 100 == 50)
            stream.insert(stream.end(), {0xEE, 0xEE, 0xEE, 0xEE});
        nextStarts.push_back(static_cast<long long>(stream.size()));
        const Bytes p = tomPacket(3, i & 0xFF, uint32_t(i), Bytes(8 + size_t(i % 40), uint8_t(i)));
        stream.insert(stream.end(), p.begin(), p.end());
        ends.push_back(static_cast<long long>(stream.size()));
    }
    const long long size = static_cast<long long>(stream.size());
    File f;
    f.write(stream);
    {
        // Every look at the clock reports: far more than the two of a quick read.
        RecordProgress progress(std::chrono::nanoseconds(0));
        TestCache cache(TelemetryCache::Tom, {{3, -1}});
        read(cache, f.path);
        ASSERT_EQ(cache.size(), 2000u);
        const auto& r = progress.reports;
        ASSERT_GT(r.size(), 5u);
        EXPECT_EQ(r.front().done, 0);
        EXPECT_EQ(r.front().packets, 0);
        EXPECT_EQ(r.back().done, size);
        EXPECT_EQ(r.back().packets, 2000);
        for (size_t i = 0; i < r.size(); ++i) {
            EXPECT_EQ(r[i].total, size) << i;
            if (i > 0) {
                EXPECT_GE(r[i].done, r[i - 1].done) << i;
                EXPECT_GE(r[i].packets, r[i - 1].packets) << i;
            }
            if (r[i].packets > 0 && r[i].packets < 2000) {
                const size_t n = size_t(r[i].packets);
                EXPECT_GE(r[i].done, ends[n - 1]) << i;
                EXPECT_LE(r[i].done, nextStarts[n]) << i;
            }
        }
    }
    {
        // A read far quicker than the interval: once as it starts and once as it ends. The
        // end is the whole file even when a packet cut short waits there for its rest.
        const Bytes last = tomPacket(3, 0, 1, Bytes(20, 1));
        File cut;
        cut.write(cat({stream, Bytes(last.begin(), last.begin() + 10)}));
        RecordProgress progress(std::chrono::seconds(60));
        TestCache cache(TelemetryCache::Tom, {{3, -1}});
        read(cache, cut.path);
        EXPECT_EQ(cache.position(), size);
        ASSERT_EQ(progress.reports.size(), 2u);
        EXPECT_EQ(progress.reports[1].done, size + 10);
        EXPECT_EQ(progress.reports[1].total, size + 10);
        EXPECT_EQ(progress.reports[1].packets, 2000);
    }
    {
        // A report that throws is not asked again during that read, and costs no packet; the
        // next read asks it again.
        RecordProgress progress(std::chrono::nanoseconds(0), true);
        TestCache cache(TelemetryCache::Tom, {{3, -1}});
        read(cache, f.path);
        EXPECT_EQ(cache.size(), 2000u);
        EXPECT_EQ(progress.reports.size(), 1u);
        const Bytes more = tomPacket(3, 0, 5000, Bytes(10, 1));
        f.write(more, true);
        grow(cache);
        EXPECT_EQ(cache.size(), 2001u);
        ASSERT_EQ(progress.reports.size(), 2u);
        EXPECT_EQ(progress.reports[1].done, size);
        EXPECT_EQ(progress.reports[1].total, size + static_cast<long long>(more.size()));
        EXPECT_EQ(progress.reports[1].packets, 2000);
    }
    {
        // CCSDS reads report the same way.
        Bytes ccsds;
        long long each = 0;
        for (int i = 0; i < 600; ++i) {
            const Bytes p = ccsdsPacket(700, i, uint32_t(i), Bytes(30, uint8_t(i)));
            ccsds.insert(ccsds.end(), p.begin(), p.end());
            each = static_cast<long long>(p.size());
        }
        File g;
        g.write(ccsds);
        RecordProgress progress(std::chrono::nanoseconds(0));
        TestCache cache(TelemetryCache::Ccsds);
        read(cache, g.path);
        ASSERT_GT(progress.reports.size(), 2u);
        EXPECT_EQ(progress.reports.back().done, static_cast<long long>(ccsds.size()));
        EXPECT_EQ(progress.reports.back().packets, 600);
        EXPECT_EQ(progress.reports[1].done, progress.reports[1].packets * each);
    }
}

TEST(TelemetryCache, CcsdsWrapperRecordsAndReceiptTimes) {
    File f;
    const Bytes a = ccsdsPacket(700, 0, 50, Bytes(20, 1));
    const Bytes b = ccsdsPacket(700, 1, 51, Bytes(20, 2));
    const Bytes c = ccsdsPacket(700, 2, 52, Bytes(20, 3));
    f.write(
        cat({wrapperRecord("GANN", 24, 1000, 250), a, wrapperRecord("FANN", 24, 1001, 999), b, c}));
    TestCache cache(TelemetryCache::Ccsds);
    EXPECT_EQ(read(cache, f.path), "");
    ASSERT_EQ(cache.size(), 3u);
    EXPECT_EQ(*cache.get(0)->bytes(), a);
    EXPECT_EQ(cache.get(0)->groundSeconds(), 1000u);
    EXPECT_EQ(cache.get(0)->groundMilliseconds(), 250.0);
    EXPECT_EQ(cache.get(1)->groundSeconds(), 1001u);
    EXPECT_EQ(cache.get(1)->groundMilliseconds(), 999.0);
    EXPECT_EQ(cache.get(2)->groundSeconds(), 0u);
    EXPECT_NEAR(cache.get(1)->groundRelativeTime(), 1.749, 1e-9);
}

TEST(TelemetryCache, CcsdsOversizedWrapperIsRejectedWithoutOverrun) {
    File f;
    // A record claiming 20000 bytes would overflow the record buffer: its bytes are damage.
    Bytes huge = wrapperRecord("GANN", 20000, 1, 1);
    huge.resize(64);
    const Bytes a = ccsdsPacket(700, 0, 50, Bytes(20, 1));
    f.write(cat({huge, a}));
    TestCache cache(TelemetryCache::Ccsds, {{700, 26}});
    const std::string errors = read(cache, f.path);
    ASSERT_EQ(cache.size(), 1u);
    EXPECT_EQ(*cache.get(0)->bytes(), a);
    EXPECT_EQ(cache.get(0)->groundSeconds(), 0u);
    EXPECT_NE(errors.find("Skipped 64 bytes [0 - 64]"), std::string::npos) << errors;
}

TEST(TelemetryCache, CcsdsShortAndImpossibleLengths) {
    File f;
    const Bytes a = ccsdsPacket(700, 0, 50, Bytes(20, 1));
    // Length field 65535: a zero-length read, which is a short read.
    Bytes impossible = {0x0A, 0xBC, 0xC0, 0, 0xFF, 0xFF};
    impossible.resize(30, 0);
    f.write(cat({a, impossible}));
    TestCache cache(TelemetryCache::Ccsds);
    const std::string errors = read(cache, f.path);
    EXPECT_EQ(cache.size(), 1u);
    EXPECT_EQ(errors,
              "Read partial packet...backing up to index " + std::to_string(a.size()) + "\n");

    // A packet is only read once 20 bytes from its start are on disk.
    File g;
    const Bytes small = ccsdsPacket(700, 0, 50, {1, 2, 3, 4, 5, 6, 7});  // 19 bytes
    g.write(small);
    TestCache second(TelemetryCache::Ccsds);
    read(second, g.path);
    EXPECT_EQ(second.size(), 0u);
    g.write({0}, true);
    grow(second);
    EXPECT_EQ(second.size(), 1u);
}

TEST(TelemetryCache, CcsdsGivesUpAfterMaxScanBytes) {
    File f;
    const Bytes a = ccsdsPacket(700, 0, 50, Bytes(20, 1));
    f.write(cat({Bytes(100, 0x55), a}));
    TestCache cache(TelemetryCache::Ccsds, {{700, 26}});
    cache.setMaxScanBytes(50);
    const std::string errors = read(cache, f.path);
    EXPECT_EQ(cache.size(), 0u);
    EXPECT_EQ(errors,
              "Scanned 50 bytes [0 - 50] without finding a valid packet header, archive may be "
              "corrupt!\n");
    EXPECT_EQ(cache.position(), long(100 + a.size()));
    // Only data appended after the give-up is read later.
    f.write(a, true);
    grow(cache);
    EXPECT_EQ(cache.size(), 1u);
}

TEST(TelemetryCache, UnopenableFileLeavesAnEmptyCache) {
    TestCache cache(TelemetryCache::Tom);
    EXPECT_EQ(read(cache, "/nonexistent/run.tlm"),
              "TMF::changeFile(/nonexistent/run.tlm) FAILED\n");
    EXPECT_EQ(cache.size(), 0u);
    EXPECT_EQ(grow(cache), "");
}

// ---- cursors ---------------------------------------------------------------------------------

TEST(TelemetryFile, CursorsAndSearches) {
    File f;
    Bytes stream;
    const int types[] = {2, 3, 2, 4, 5, 2};
    for (int i = 0; i < 6; ++i) {
        const Bytes p = tomPacket(types[i], i, 100 + i, {uint8_t(i)});
        stream.insert(stream.end(), p.begin(), p.end());
    }
    QDir().mkpath(f.dir.filePath("2012-04-02-12.35.42-12345-testname"));
    const std::string path =
        f.dir.filePath("2012-04-02-12.35.42-12345-testname/run.tlm").toStdString();
    QFile out(QString::fromStdString(path));
    out.open(QIODevice::WriteOnly);
    out.write(reinterpret_cast<const char*>(stream.data()), qint64(stream.size()));
    out.close();
    TelemetryFile::setSharedCache(new TestCache(TelemetryCache::Tom));
    TelemetryFile::setSharedCacheFile(path);
    TelemetryFile cursor;
    EXPECT_EQ(cursor.tidString(), "12345");

    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(cursor.getNext()->index(), i);
    }
    EXPECT_EQ(cursor.getNext(), nullptr);
    EXPECT_EQ(cursor.current(), 5);

    cursor.reset();
    EXPECT_EQ(cursor.seek(2), 2);
    EXPECT_EQ(cursor.seek(-5), -2);
    EXPECT_EQ(cursor.seek(100), 5);

    cursor.reset();
    EXPECT_EQ(cursor.seekNextMatch(2), 0);  // the current packet counts the first time
    EXPECT_EQ(cursor.seekNextMatch(2), 2);
    EXPECT_EQ(cursor.seekNextMatch(2), 5);
    EXPECT_EQ(cursor.seekNextMatch(2), -1);
    EXPECT_EQ(cursor.seekPrevMatch(2), 2);
    EXPECT_EQ(cursor.getPrevMatch(2)->index(), 0);
    EXPECT_EQ(cursor.seekPrevMatch(2), -1);
    EXPECT_EQ(cursor.seekPrevMatch(2), -1);  // nothing earlier, remembered

    ByteSet set;
    set.set(4);
    set.set(5);
    EXPECT_EQ(cursor.findNextMatch(0, set, true), 3);
    EXPECT_EQ(cursor.findPrevMatch(5, set, false), 4);
    EXPECT_EQ(cursor.findNextMatch(9, set, true), -3);
    EXPECT_EQ(cursor.findNextMatch(5, uint16_t(9), true), -1);

    // No type 9 yet; once one is appended and the cache grows, the search finds it.
    cursor.reset();
    EXPECT_EQ(cursor.seekNextMatch(9), -1);
    const Bytes late = tomPacket(9, 6, 200, {9});
    out.open(QIODevice::Append);
    out.write(reinterpret_cast<const char*>(late.data()), qint64(late.size()));
    out.close();
    TelemetryFile::updateSharedCache();
    EXPECT_EQ(cursor.seekNextMatch(9), 6);
    TelemetryFile::setSharedCache(nullptr);
    EXPECT_EQ(cursor.getNext(), nullptr);
}

TEST(TelemetryFile, TrimmingMovesTheCursors) {
    auto* cache = new TestCache(TelemetryCache::Tom);
    TelemetryFile::setSharedCache(cache);
    TelemetryFile cursor;
    auto packet = [](int i) {
        const Bytes b = tomPacket(2, i, uint32_t(i), {0});
        return std::make_shared<TomPacket>(b.data(), int(b.size()), i, nullptr);
    };
    for (int i = 0; i < 3; ++i)
        cache->appendPacket(packet(i));  // 0/0: signals 0, removes none
    EXPECT_EQ(cache->size(), 3u);
    cursor.seek(2);
    cache->setMaxPackets(3, 2);
    cache->appendPacket(packet(3));  // 4 > 3: the first two go
    EXPECT_EQ(cache->size(), 2u);
    EXPECT_EQ(cursor.current(), 0);
    EXPECT_EQ(cursor.getNext()->rawTimestamp(), 2u);
    TelemetryFile::setSharedCache(nullptr);
}

// ---- the general resolvers -------------------------------------------------------------------

TEST(SecondsTimeResolvers, Conventions) {
    auto packet = [](const TimeResolver* r, uint32_t secs, uint16_t fraction) {
        Bytes b = ccsdsPacket(700, 0, secs, {0});
        b[10] = uint8_t(fraction >> 8);
        b[11] = uint8_t(fraction);
        return std::make_shared<CcsdsPacket>(b.data(), int(b.size()), 0, r);
    };
    UnixTimeResolver unix;
    unix.setMinimumT0Ticks(1000);
    const auto early = packet(&unix, 500, 0);
    const auto t0 = packet(&unix, 1500, 0x8000);
    unix.handlePacket(early);
    unix.handlePacket(t0);
    EXPECT_EQ(unix.t0Packet(), t0);
    EXPECT_EQ(t0->relativeTime(), 0.0);
    EXPECT_EQ(early->relativeTime(), -1000.0);
    EXPECT_EQ(t0->unixTime(), 1500.0);  // milliseconds ignored

    GpsTimeResolver gps(315964800);
    const auto g = packet(&gps, 10, 0x8000);
    gps.handlePacket(g);
    EXPECT_DOUBLE_EQ(g->unixTime(), 315964810.5);
    EXPECT_DOUBLE_EQ(g->relativeTime(), 0.5);  // T0's milliseconds are not subtracted
    EXPECT_EQ(gps.unixOffset(), 315964800u);

    TaiTimeResolver tai;
    const auto t = packet(&tai, 378691200 + 20, 0x4000);
    EXPECT_DOUBLE_EQ(t->unixTime(), 20.25);
    testutil::Messages time("time");
    EXPECT_EQ(t->unixTimeFromTicks(5), 0.0);
    ASSERT_EQ(time.warnings.size(), 1);
    EXPECT_TRUE(time.warnings[0].endsWith("Not implemented"));
}

TEST(SecondsTimeResolvers, GenericTakesThePacketTypesTimeItem) {
    // Type 16 names item 1 (TIME40 with a Unix-epoch clock) as its time, type 18 item 2 (a plain
    // 32-bit count, whose decoding asks the packet for its time: no recursion), type 17 none.
    testutil::DbFile db;
    const QMap<QString, QString> common = {
        {"DECODE_ID1", "12"}, {"DECODE_ID2", "4"}, {"DECODE_ID3", "0"}, {"ENG_EQ_TYPE", "0"}};
    db.row(testutil::with(testutil::with(testutil::basicRow(1, "T", "CLOCKED"), common),
                          {{"PACKET_TYPE", "16"}, {"DECODE_TYPE", "8"}, {"CLOCK", "UNIX"}}));
    db.row(testutil::with(testutil::with(testutil::basicRow(2, "T", "COUNT"), common),
                          {{"PACKET_TYPE", "18"}}));
    testutil::Engine engine(db,
                            "16, TIMED, false, -1, -1, 1\n17, UNTIMED, false, -1, -1\n"
                            "18, COUNTED, false, -1, -1, 2\n",
                            R"({"clocks": [{"name": "UNIX", "epoch": "1970-01-01T00:00:00Z"}]})");
    GenericTimeResolver generic;
    auto make = [&](int apid, int index) {
        const Bytes b = ccsdsPacket(apid, 0, 7, {0, 0, 0x01, 0x00});
        return std::make_shared<CcsdsPacket>(b.data(), int(b.size()), index, &generic);
    };
    EXPECT_EQ(make(16, 0)->unixTime(), 256.0);
    EXPECT_EQ(make(17, 1)->unixTime(), 0.0);
    EXPECT_EQ(make(18, 2)->unixTime(), 256.0);
}
