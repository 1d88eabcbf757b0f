#include <gselib/currentvaluetable.h>
#include <gselib/genericdecoders.h>
#include <gselib/polytransferfunc.h>
#include <gselib/tests/enginetestutil.h>
#include <vireolib/vireodecoders.h>
#include <vireolib/vireotimeresolver.h>

#include <gtest/gtest.h>

#include <cmath>
#include <map>

using namespace GseLib;
using namespace VireoGse;

namespace {

// A CCSDS packet of total bytes, APID apid, time 100 s (Unix 1e9 + 100 through the shared seconds
// resolver), with single bytes and 16-bit big-endian words set at the given packet offsets. The
// length field says claimed data bytes (default: all there are).
std::shared_ptr<CcsdsPacket> packet(int apid, size_t total, std::map<size_t, uint8_t> bytes,
                                    std::map<size_t, uint16_t> words = {}, int claimed = -1) {
    ByteVector b(total, 0);
    b[0] = uint8_t(0x08 | (apid >> 8));
    b[1] = uint8_t(apid);
    b[2] = 0xC0;
    const int field = (claimed < 0 ? int(total) - 6 : claimed) - 1;
    b[4] = uint8_t(field >> 8);
    b[5] = uint8_t(field);
    b[9] = 100;
    for (const auto& [at, v] : bytes)
        b[at] = v;
    for (const auto& [at, v] : words) {
        b[at] = uint8_t(v >> 8);
        b[at + 1] = uint8_t(v);
    }
    return std::make_shared<CcsdsPacket>(b.data(), int(b.size()), 0, testutil::secondsResolver());
}

TmDatabaseRow row(uint32_t id, uint64_t id0, uint64_t id1, uint64_t mask = 0, uint64_t shift = 0) {
    TmDatabaseRow r;
    r.data_id = id;
    r.key = "V:ROW";
    r.decode_id = {id0, id1, mask, shift};
    return r;
}

// Adds to di a 16-bit big-endian row named key at packet byte 12 of apid.
void addRow(DataInterpretation& di, uint32_t id, const char* key, int apid,
            std::shared_ptr<TransferFunc> sci = nullptr) {
    TmDatabaseRow r = row(id, 12, 2);
    r.key = key;
    r.packet_type = apid;
    r.decode_type = 1;
    r.pkt_offsets = {12};
    r.byte_order = {2, 1};
    r.bit_shifts = {8, 0};
    r.sci_transfer_func = std::move(sci);
    di.db()->addRow(r);
}

std::vector<double> values(const DataItems& items) {
    std::vector<double> out;
    for (const DataItem& i : items)
        out.push_back(i.toDouble());
    return out;
}

// Energy samples 100, 300, 200, 300, 100 from byte 16 of a packet with 30 data bytes.
std::shared_ptr<CcsdsPacket> laserPacket() {
    return packet(730, 36, {}, {{16, 100}, {18, 300}, {20, 200}, {22, 300}, {24, 100}});
}

}  // namespace

TEST(VireoDecoders, LaserEnergySamplesWithoutCurrentValues) {
    const auto p = laserPacket();
    const TmDatabaseRow r = row(1, 16, 2);
    DataItems samples;
    ASSERT_TRUE(LeuEnergySampleValueDecoder().decode(r, p.get(), samples, nullptr));
    EXPECT_EQ(values(samples), (std::vector<double>{100, 300, 200, 300, 100}));
    for (size_t k = 0; k < samples.size(); ++k) {
        EXPECT_DOUBLE_EQ(samples[k].relativeTime, 100 + 20e-6 * double(k + 1));  // 20 us apart
        EXPECT_EQ(samples[k].byteOffset, 16 + 2 * k);
    }
    struct Stat {
        std::shared_ptr<Decoder> decoder;
        double value;
        uint32_t offset, count;
    };
    for (const Stat& s : {Stat{std::make_shared<LeuEnergySampleAvgDecoder>(), 200, 36, 0xFFFFFFFF},
                          Stat{std::make_shared<LeuEnergySampleMinDecoder>(), 100, 16, 2},
                          Stat{std::make_shared<LeuEnergySampleMaxDecoder>(), 300, 18, 2},
                          Stat{std::make_shared<LeuEnergySampleStdDevDecoder>(), std::sqrt(8000.0),
                               36, 0xFFFFFFFF}}) {
        DataItems items;
        ASSERT_TRUE(s.decoder->decode(r, p.get(), items, nullptr)) << s.decoder->type();
        EXPECT_DOUBLE_EQ(items.at(0).toDouble(), s.value) << s.decoder->type();
        EXPECT_EQ(items[0].byteOffset, s.offset) << s.decoder->type();
        EXPECT_EQ(items[0].byteCount, s.count) << s.decoder->type();
    }
    // Too few data bytes for a sample: the aggregates have nothing to say.
    const auto empty = packet(730, 26, {});
    DataItems none;
    EXPECT_TRUE(LeuEnergySampleValueDecoder().decode(r, empty.get(), none, nullptr));
    EXPECT_FALSE(LeuEnergySampleAvgDecoder().decode(r, empty.get(), none, nullptr));
    EXPECT_TRUE(none.empty());
}

TEST(VireoDecoders, LaserSampleIntervalFromTheCurrentValueTable) {
    // The interval is looked up under its key exactly as the decoders name it.
    DataInterpretation di;
    di.addDecoder(new SimpleDecoder);
    addRow(di, 50, "LEU_STATUS.ENERGY_SAMPLE_INTERVAL_SETTING", 704,
           std::make_shared<PolyTransferFunc>(0.0, 0.5, 0.0));
    CurrentValueTable cvt(di);
    cvt.track(50);
    cvt.update(packet(704, 20, {}, {{12, 25}}));  // 12.5 us

    LeuEnergySampleValueDecoder decoder;
    decoder.setEngine(&di);
    DataItems samples;
    ASSERT_TRUE(decoder.decode(row(1, 16, 2), laserPacket().get(), samples, &cvt));
    ASSERT_EQ(samples.size(), 5u);
    // The running time is truncated to whole microseconds at each step: 12, 24, 36, 48, 60.
    for (size_t k = 0; k < 5; ++k) {
        EXPECT_NEAR(samples[k].relativeTime - 100, 12e-6 * double(k + 1), 1e-12) << k;
    }
}

TEST(VireoDecoders, LaserSamplesStopAtThePacketEnd) {
    // The header claims 30 data bytes (five samples) but the packet ends at byte 24: four fit.
    const auto shortPacket = packet(730, 22 + 2, {}, {{16, 7}}, 30);
    testing::internal::CaptureStdout();
    DataItems samples;
    LeuEnergySampleValueDecoder().decode(row(3, 16, 2), shortPacket.get(), samples, nullptr);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(samples.size(), 4u);
    EXPECT_EQ(printed,
              "void decodeLaserEnergySamples(const GseLib::TmDatabaseRow &, const GseLib::TMPacket "
              "*, GseLib::DataItems &, const GseLib::CurrentValueTable *) V:ROW 3 Out of bounds: "
              "off(24) + len(2) > dataLength(30)\n");
}

TEST(VireoDecoders, ControllerPackets) {
    // ADC channels: id bytes 13, 16, 22 each followed by a 16-bit value.
    const auto hkAdc =
        packet(700, 6 + 7 + 96, {{13, 5}, {16, 6}, {22, 5}}, {{14, 1000}, {17, 2000}, {23, 3000}});
    // Id byte 21: low nibble 5, a match, value 0x0708 in the low half of its 32 bits; 0xA0-0xA9
    // must equal the id exactly (31: no match for 5); above 0xA9 (36) never.
    const auto registers =
        packet(700, 6 + 15 + 160, {{21, 0x35}, {31, 0xA5}, {36, 0xB5}}, {{24, 0x0708}});
    const TmDatabaseRow masked = row(1, 12, 2, 0x0FFF, 4);
    const auto bins = packet(720, 18, {}, {{12, 0x1234}, {14, 0xFFFF}, {16, 0x0010}});
    // Three totals: the third (at 36) would end at 38, inside the packet.
    const auto totals = packet(721, 40, {{15, 3}}, {{16, 11}, {26, 22}, {36, 33}});
    // One total: values from 26, every 8 bytes.
    const auto rf = packet(721, 44, {{15, 1}}, {{26, 5}, {34, 6}, {42, 7}});
    struct Case {
        std::shared_ptr<Decoder> decoder;
        TmDatabaseRow row;
        std::shared_ptr<CcsdsPacket> packet;
        std::vector<double> values;  // none: the decoder fails
    };
    const Case cases[] = {
        {std::make_shared<CtlHkAdcValuesDecoder>(), row(1, 5, 2), hkAdc, {1000, 3000}},
        {std::make_shared<CtlStatusGenRegValuesDecoder>(), row(1, 5, 4), registers, {0x0708}},
        {std::make_shared<CtlScienceBinCountsDecoder>(), masked, bins, {0x23, 0xFF, 0x1}},
        {std::make_shared<CtlScienceSumRfTotalsDecoder>(), row(1, 0, 2), totals, {11, 22, 33}},
        {std::make_shared<CtlScienceSumRfValuesDecoder>(), row(1, 0, 2), rf, {5, 6, 7}},
        {std::make_shared<CtlScienceSumRfValuesDecoder>(), row(1, 0, 2), packet(721, 15, {}), {}},
    };
    for (const Case& c : cases) {
        DataItems items;
        EXPECT_EQ(c.decoder->decode(c.row, c.packet.get(), items, nullptr), !c.values.empty())
            << c.decoder->type();
        EXPECT_EQ(values(items), c.values) << c.decoder->type();
    }
}

TEST(VireoDecoders, MmcPiraniStripChartAndReference) {
    // Pirani: seconds since 2010 at 14, 40 ns ticks at 18, records of 10 bytes from 28.
    // S = 10, F = 25 x 40 ns = 1 us; record 0 0.5 s later, record 1 1 s later.
    const auto mmc =
        packet(705, 48, {{17, 10}, {21, 25}}, {{28, 5000}, {30, 111}, {38, 10000}, {40, 222}});
    DataItems pirani;
    ASSERT_TRUE(MmcPiraniValuesDecoder().decode(row(1, 2, 2), mmc.get(), pirani, nullptr));
    ASSERT_EQ(values(pirani), (std::vector<double>{111, 222}));
    EXPECT_DOUBLE_EQ(pirani[0].unixTime, 1262304010.0 + 1e-6 + 0.5);
    EXPECT_DOUBLE_EQ(pirani[1].relativeTime, 101.0);

    // Strip chart: channel 7 in columns 0 and 2; rows of 8 bytes from 20, newest last.
    const auto chart =
        packet(705, 36, {{16, 7}, {17, 3}, {18, 7}, {19, 9}}, {{20, 1}, {24, 2}, {28, 3}, {32, 4}});
    DataItems strip;
    ASSERT_TRUE(MmcStripChartDecoder().decode(row(1, 7, 2), chart.get(), strip, nullptr));
    EXPECT_EQ(values(strip), (std::vector<double>{1, 3, 2, 4}));
    EXPECT_DOUBLE_EQ(strip[0].relativeTime, 100 - 0.004);  // n = (36 - 20) / 4
    EXPECT_DOUBLE_EQ(strip[1].relativeTime, 100 - 0.003);

    // Reference: 2.5 V / the raw reference reading, when the table has one.
    DataInterpretation di;
    di.addDecoder(new SimpleDecoder);
    addRow(di, 60, "MMC.HK:V_2P50_VREF", 705);
    MmcVRefCalibratedDecoder calibrated;
    calibrated.setEngine(&di);
    const auto reading = packet(706, 20, {}, {{14, 1000}});
    DataItems plain;
    calibrated.decode(row(2, 14, 2), reading.get(), plain, nullptr);
    EXPECT_EQ(values(plain), std::vector<double>{1000});
    CurrentValueTable cvt(di);
    cvt.track(60);
    cvt.update(packet(705, 20, {}, {{12, 2000}}));
    DataItems scaled;
    calibrated.decode(row(2, 14, 2), reading.get(), scaled, &cvt);
    EXPECT_EQ(values(scaled), std::vector<double>{2.5 / 2000 * 1000});
}

TEST(VireoTimeResolver, SecondsSince2010AndFineTime) {
    VireoTimeResolver r;
    // Whole seconds since 2010 end at byte 9, 1/256 s follow in byte 10.
    const auto at = [&r](int index, uint8_t seconds, uint8_t fine) {
        const auto bytes = packet(704, 20, {{9, seconds}, {10, fine}})->bytes();
        return std::make_shared<CcsdsPacket>(bytes, index, &r);
    };
    const auto first = at(0, 0, 128);
    const auto later = at(1, 3, 64);
    EXPECT_DOUBLE_EQ(first->unixTime(), 1262304000.5);
    EXPECT_EQ(r.unixTimeOfT0(), 0.0);  // no T0 yet: the estimate
    r.handlePacket(first);
    r.handlePacket(later);
    EXPECT_EQ(r.t0Packet(), first);
    EXPECT_DOUBLE_EQ(later->unixTime(), 1262304003.25);
    EXPECT_DOUBLE_EQ(later->relativeTime(), 2.75);
    EXPECT_DOUBLE_EQ(later->relativeTimeFromTicks(9), 9.0);
    EXPECT_DOUBLE_EQ(later->unixTimeFromTicks(9), 1262304009.5);
    r.reset();
    EXPECT_EQ(r.t0Packet(), nullptr);
}
