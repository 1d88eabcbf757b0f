#include <vireolib/markerpacket.h>
#include <vireolib/vireomarkercache.h>

#include <gselib/telemetryfile.h>
#include <gselib/tests/dbtestutil.h>
#include <gselib/tests/readertestutil.h>

#include <gtest/gtest.h>

using namespace VireoGse;
using namespace testutil;

namespace {

// Marker data as it follows the 6-byte secondary header: id, type, text and its zero byte.
Bytes markerData(uint32_t id, uint32_t type, const char* text) {
    Bytes d;
    for (uint32_t v : {id, type})
        for (int s = 24; s >= 0; s -= 8)
            d.push_back(uint8_t(v >> s));
    d.insert(d.end(), text, text + std::strlen(text));
    d.push_back(0);
    return d;
}

struct Step {
    uint32_t seconds;
    uint32_t id;
    uint32_t type;
    const char* text;
};

class MarkerFile : public testing::Test {
protected:
    void SetUp() override { TelemetryFile::setSharedCache(new TestCache(TelemetryCache::Ccsds)); }
    void TearDown() override { TelemetryFile::setSharedCache(nullptr); }

    void write(std::initializer_list<Step> steps) {
        for (const Step& s : steps) {
            // Housekeeping between markers must be passed over.
            file_.write(ccsdsPacket(704, seq_++, s.seconds, Bytes(20, 0xAA)), true);
            file_.write(ccsdsPacket(743, seq_++, s.seconds, markerData(s.id, s.type, s.text)),
                        true);
        }
        testing::internal::CaptureStderr();
        if (opened_)
            TelemetryFile::updateSharedCache();
        else
            TelemetryFile::setSharedCacheFile(file_.path);
        opened_ = true;
        testing::internal::GetCapturedStderr();
    }

    File file_;
    int seq_ = 0;
    bool opened_ = false;
};

std::vector<std::tuple<uint32_t, int64_t, int64_t>> intervals(const QList<Marker>& ms) {
    std::vector<std::tuple<uint32_t, int64_t, int64_t>> out;
    for (const Marker& m : ms)
        out.emplace_back(m.markerId(), m.startTimeUnixMicroSecs(), m.endTimeUnixMicroSecs());
    return out;
}

}  // namespace

TEST(MarkerPacket, FieldsSitAfterTheSecondaryHeader) {
    MarkerPacket p;
    EXPECT_EQ(p.apid(), 743);
    EXPECT_EQ(p.totalLength(), 78);
    p.setMarkerId(0x01020304);
    p.setMarkerType(0xA0B0C0D0);
    p.setText("warm-up");
    const Bytes& b = *p.bytes();
    EXPECT_EQ(Bytes(b.begin() + 12, b.begin() + 20), (Bytes{1, 2, 3, 4, 0xA0, 0xB0, 0xC0, 0xD0}));
    EXPECT_EQ(b[20], 'w');
    EXPECT_EQ(b[27], 0);
    EXPECT_EQ(p.markerId(), 0x01020304u);
    EXPECT_EQ(p.markerType(), 0xA0B0C0D0u);
    EXPECT_EQ(p.text(), "warm-up");

    // A text longer than the room lengthens the packet and its length field.
    const QByteArray longText(100, 'x');
    p.setText(longText);
    EXPECT_EQ(p.totalLength(), 20 + 100 + 1);
    EXPECT_EQ(p.text(), longText);
    p.setText("short");
    EXPECT_EQ(p.text(), "short");  // the rest of the old text is cleared

    const Bytes cut = ccsdsPacket(743, 0, 5, Bytes{0, 0, 0});
    const MarkerPacket shortPacket(GseLib::CcsdsPacket(cut.data(), int(cut.size()), 0, nullptr));
    EXPECT_THROW(shortPacket.markerId(), std::out_of_range);
    EXPECT_EQ(shortPacket.text(), QByteArray());
}

TEST_F(MarkerFile, IntervalsOpenCloseAndReopen) {
    write({{100, 1, 1, "step 1: warm-up"},
           {110, 0, 1, ""},  // closes 1
           {120, 2, 5, "step 2: scan"},
           {130, 2, 6, "step 2: scan again"},  // 2 is open: closed at 130, then reopened
           {140, 3, 1, "laser check"},
           {150, 0, 0, ""},  // closes 2 and 3
           {160, 0, 7, ""},  // nothing with id 7 is open
           {170, 4, 1, "instant"},
           {170, 0, 4, ""},  // same time as its opening: left open-ended
           {180, 5, 1, "step 5: cool-down"}});
    Messages log("vireo_marker_cache");
    Messages refused("marker_close");
    VireoMarkerCache cache(std::make_shared<GseLib::TelemetryFile>());
    int opened = 0;
    int closed = 0;
    QObject::connect(&cache, &VireoMarkerCache::markerIntervalOpened, [&] { ++opened; });
    QObject::connect(&cache, &VireoMarkerCache::markerIntervalClosed, [&] { ++closed; });
    cache.refresh();

    auto done = intervals(cache.markers());
    ASSERT_EQ(done.size(), 5u);
    // Closing every open marker happens in no particular order.
    if (std::get<0>(done[2]) == 3)
        std::swap(done[2], done[3]);
    using I = std::tuple<uint32_t, int64_t, int64_t>;
    EXPECT_EQ(done, (std::vector<I>{{1, 100000000, 110000000},
                                    {2, 120000000, 130000000},
                                    {2, 130000000, 150000000},
                                    {3, 140000000, 150000000},
                                    {4, 170000000, 0}}));
    EXPECT_EQ(intervals(cache.openMarkers()), (std::vector<I>{{5, 180000000, 0}}));
    EXPECT_EQ(opened, 6);
    EXPECT_EQ(closed, 5);

    const Marker& first = cache.markers()[0];
    EXPECT_EQ(first.markerType(), 1u);
    EXPECT_EQ(first.text(), "step 1: warm-up");
    EXPECT_EQ(first.durationMicroSecs(), 10000000);
    EXPECT_DOUBLE_EQ(first.durationSecs(), 10.0);
    EXPECT_TRUE(first.isComplete());
    EXPECT_EQ(first.toNiceString(),
              "lbl=step 1: warm-up id=1:1 start=100.000000 "
              "end=110.000000 dur=10.000000s");
    EXPECT_FALSE(cache.markers()[4].isComplete());
    EXPECT_EQ(cache.markers()[4].durationMicroSecs(), 0);

    EXPECT_TRUE(log.has("Existing marker found...closing"));
    EXPECT_TRUE(log.hasPrefix("No match for marker close: "));
    EXPECT_TRUE(log.hasPrefix("Marker opened: lbl=step 5: cool-down id=5:1"));
    EXPECT_TRUE(
        refused.has("close time is earlier than start time t_start= 170000000 "
                    "t_end= 170000000"));

    EXPECT_EQ(cache.matchingIntervals("step 2", true).size(), 2);
    EXPECT_EQ(cache.matchingIntervals("scan", false).size(), 2);
    EXPECT_EQ(cache.matchingIntervals("scan", true).size(), 0);
    EXPECT_EQ(cache.matchingIntervals("Step", false).size(), 0);  // case-sensitive

    // A growing file: the open marker closes once its closing packet arrives.
    write({{190, 0, 5, ""}});
    cache.refresh();
    EXPECT_EQ(cache.size(), 6);
    EXPECT_TRUE(cache.openMarkers().isEmpty());
    EXPECT_EQ(cache.markers().back().endTimeUnixMicroSecs(), 190000000);

    cache.reload();
    EXPECT_EQ(cache.size(), 6);
    cache.clear();
    EXPECT_TRUE(cache.isEmpty());
}

TEST_F(MarkerFile, SharedCacheAndDamagedMarkers) {
    write({{100, 9, 1, "nine"}});
    // A marker packet cut before its type field is reported and changes nothing.
    file_.write(ccsdsPacket(743, seq_++, 105, Bytes{0, 0, 0, 0, 0, 0}), true);
    write({{110, 0, 9, ""}});
    VireoMarkerCache::initSharedCache(std::make_shared<GseLib::TelemetryFile>());
    ASSERT_NE(VireoMarkerCache::sharedCache(), nullptr);
    Messages log("vireo_marker_cache");
    VireoMarkerCache::sharedCache()->reload();
    EXPECT_TRUE(log.hasPrefix("Marker packet too short"));
    ASSERT_EQ(VireoMarkerCache::sharedCache()->size(), 1);
    EXPECT_EQ(VireoMarkerCache::sharedCache()->markers()[0].endTimeUnixSecs(), 110.0);
}
