// The frame sync prefix as the reader checks it in its look-ahead, against the stream hook that
// seeks back for every packet: both must give the same packets, diagnostics and positions on
// damaged files that grow in random steps (so that prefixes, records and headers are cut at the
// end of the data and completed later).

#include <vireolib/vireotelemetrycache.h>

#include <gselib/tests/readertestutil.h>

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <random>

using namespace testutil;

namespace {

// A VIREO reader with a fixed catalogue; streamHook makes it use beforeParseCcsds instead of
// the look-ahead check.
class Reader : public VireoGse::VireoTelemetryCache {
public:
    explicit Reader(bool streamHook) : streamHook_(streamHook) {}

protected:
    size_t prefixWindow() const override {
        return streamHook_ ? 0 : VireoTelemetryCache::prefixWindow();
    }
    bool validHeader(const unsigned char* h) override {
        const int apid = ((h[0] & 7) << 8) | h[1];
        const int length = (((h[4] << 8) | h[5]) + 1) & 0xFFFF;
        return (h[0] & 0xF0) == 0 && length == (apid == 0x2C0 ? 20 : apid == 0x2D0 ? 8 : -1);
    }

private:
    bool streamHook_;
};

const Bytes SYNC = {0xFE, 0xFA, 0x30, 0xC8};

// Packets of 26 and 14 bytes (the short ones end inside the look-ahead), each possibly behind
// a record, a sync prefix at offset 0, 2 or 3, a decoy sync word at offset 1, or garbage.
Bytes stream(std::mt19937& rng, int* packets) {
    Bytes file;
    for (int i = 0; i < 60; ++i) {
        const uint32_t r = rng();
        if (r % 11 == 0) {
            for (uint32_t k = 1 + rng() % 9; k > 0; --k)
                file.push_back(uint8_t(rng()));
        }
        if (r % 3 == 0)
            file = cat({file, wrapperRecord(r % 2 ? "GANN" : "FANN", int(rng() % 30))});
        if (r % 5 < 3) {
            const int filler = std::array<int, 4>{0, 2, 3, 1}[rng() % 4];
            file = cat({file, Bytes(size_t(filler), 0x11), SYNC, Bytes(6, 0x22)});
        }
        file = cat({file, r % 4 == 0 ? ccsdsPacket(0x2D0, i, 7, {1, 2})
                                     : ccsdsPacket(0x2C0, i, 7, Bytes(14, uint8_t(i)))});
        ++*packets;
    }
    return file;
}

struct Outcome {
    std::vector<Bytes> packets;
    std::vector<long> positions;
    std::string errors;
};

Outcome read(bool streamHook, const Bytes& file, const std::vector<size_t>& steps,
             const QString& path) {
    Outcome o;
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    testing::internal::CaptureStderr();
    // The short-read counter is process-wide and a complete packet resets it: both readers
    // start alike.
    const Bytes good = ccsdsPacket(0x2C0, 0, 7, Bytes(14, 0));
    f.write(reinterpret_cast<const char*>(good.data()), qint64(good.size()));
    f.flush();
    Reader(streamHook).changeFile(path.toStdString(), true);
    f.resize(0);
    f.seek(0);
    Reader reader(streamHook);
    size_t written = 0;
    for (size_t step : steps) {
        f.write(reinterpret_cast<const char*>(file.data()) + written, qint64(step - written));
        f.flush();
        written = step;
        if (o.positions.empty())
            reader.changeFile(path.toStdString(), true);
        else
            reader.grow();
        o.positions.push_back(reader.position());
    }
    for (int idle = 0; idle < 8; ++idle) {  // until a grow changes nothing
        const long at = reader.position();
        const size_t had = reader.size();
        reader.grow();
        o.positions.push_back(reader.position());
        idle = at == reader.position() && had == reader.size() ? idle : -1;
    }
    o.errors = testing::internal::GetCapturedStderr();
    for (const auto& p : reader.packets())
        o.packets.push_back(*p->bytes());
    return o;
}

}  // namespace

TEST(VireoSyncPrefix, LookAheadCheckReadsWhatTheStreamHookReads) {
    QTemporaryDir dir;
    size_t recovered = 0;
    int written = 0;
    for (int round = 0; round < 60; ++round) {
        std::mt19937 rng(500 + round);
        const Bytes file = stream(rng, &written);
        std::vector<size_t> steps;
        for (size_t at = 1 + rng() % 40; at < file.size(); at += 1 + rng() % 60)
            steps.push_back(at);
        steps.push_back(file.size());
        const Outcome seeking = read(true, file, steps, dir.filePath("a.tlm"));
        const Outcome lookAhead = read(false, file, steps, dir.filePath("b.tlm"));
        ASSERT_EQ(lookAhead.packets, seeking.packets) << "round " << round;
        EXPECT_EQ(lookAhead.positions, seeking.positions) << "round " << round;
        EXPECT_EQ(lookAhead.errors, seeking.errors) << "round " << round;
        recovered += lookAhead.packets.size();
    }
    // Records, prefixes and decoys cost no packet; only garbage that happens to look like a
    // header now and then hides one.
    EXPECT_GE(recovered, size_t(written) * 99 / 100);
}

TEST(VireoSyncPrefix, WhereTheSyncWordMayStand) {
    // FE FA 30 C8 at offset 0, 2 or 3 of the eight bytes before a header, then 6 more bytes: the
    // prefix ends 6 bytes after the word. Offset 1 is never examined.
    struct Case {
        int at;  // position of the sync word, -1 for none
        size_t prefix;
    };
    for (const Case c : {Case{0, 10}, Case{1, 0}, Case{2, 12}, Case{3, 13}, Case{-1, 0}}) {
        std::vector<unsigned char> bytes(16, 0x11);
        if (c.at >= 0) {
            const unsigned char word[] = {0xFE, 0xFA, 0x30, 0xC8};
            std::copy(std::begin(word), std::end(word), bytes.begin() + c.at);
        }
        EXPECT_EQ(VireoGse::VireoTelemetryCache::syncPrefixLength(bytes.data()), c.prefix) << c.at;
    }
}
