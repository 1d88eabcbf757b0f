#include <gselib/tmdatabaserow.h>
#include <tarnlib/channeldecoders.h>
#include <tarnlib/itemdecoders.h>
#include <tarnlib/laserdecoders.h>
#include <tarnlib/maifdecoders.h>
#include <tarnlib/piranidecoders.h>
#include <tarnlib/rsimdecoders.h>
#include <tarnlib/sciencedecoders.h>
#include <tarnlib/tardatainterpretation.h>
#include <tarnlib/tartelemetrycache.h>

#include "scantestutil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>

using namespace testutil;
using namespace scantest;
using namespace TarGse::TarDataInterpretationImpl;
using GseLib::DataItems;

namespace {

// Packets from tom() carry raw timestamp 100: Unix time 1e9 + 100, relative time 100, and
// ticks t are Unix time 1e9 + t.
constexpr double UNIX0 = 1e9 + 100;
constexpr double REL0 = 100;

GseLib::TmDatabaseRow rowOf(uint64_t offset, uint64_t length, uint64_t mask, uint64_t shift) {
    GseLib::TmDatabaseRow row;
    row.key = "TEST:FIELD";
    row.data_id = 4242;
    row.decode_id = {offset, length, mask, shift};
    return row;
}

struct Decoded {
    DataItems items;
    bool result = false;
    std::string out;  // standard output
};

Decoded run(const GseLib::Decoder& d, const GseLib::TmDatabaseRow& row,
            const GseLib::TMPacket& packet) {
    Decoded r;
    testing::internal::CaptureStdout();
    r.result = d.decode(row, &packet, r.items, nullptr);
    r.out = testing::internal::GetCapturedStdout();
    return r;
}

std::string outOfBounds(const char* decoder, uint64_t off, uint64_t len, uint64_t dataLength) {
    return std::string("bool TarGse::TarDataInterpretationImpl::") + decoder +
           "::decode(const GseLib::TmDatabaseRow &, const GseLib::TMPacket *, "
           "GseLib::DataItems &, const GseLib::CurrentValueTable *) const TEST:FIELD 4242 Out of "
           "bounds: off(" +
           std::to_string(off) + ") + len(" + std::to_string(len) + ") > dataLength(" +
           std::to_string(dataLength) + ")\n";
}

/// Value, time offset from the packet and packet byte offset of one expected item.
struct Expect {
    double value;
    double dt;
    uint32_t offset;
};

void expectItem(const GseLib::DataItem& item, const Expect& e, double unix0 = UNIX0,
                double rel0 = REL0) {
    EXPECT_NEAR(item.toDouble(), e.value, 1e-9 * std::max(1.0, std::fabs(e.value)));
    EXPECT_NEAR(item.unixTime, unix0 + e.dt, 1e-6);
    EXPECT_NEAR(item.relativeTime, rel0 + e.dt, 1e-9);
    EXPECT_EQ(item.byteOffset, e.offset);
}

void putFloat(Bytes& d, size_t at, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    put32(d, at, bits);
}

}  // namespace

TEST(TarnDecoders, RegisteredUnderTheirTypesWithTheLogLine) {
    const std::vector<std::pair<int, const char*>> table = {
        {203, "AggregatedSciPacketDecoder"},
        {204, "GcPacketDecoder"},
        {207, "MaifDecoder"},
        {208, "MaifPressureDecoder"},
        {209, "MaifCurrentDecoder"},
        {210, "Maif1MinDecoder"},
        {211, "RsimBus1CurrentDecoder"},
        {212, "RsimBus1CurrentMinDecoder"},
        {213, "RsimBus1CurrentMaxDecoder"},
        {214, "RsimBus1CurrentAvgDecoder"},
        {215, "LaserPulseTimeDecoder"},
        {216, "LaserPulseRegsDecoder"},
        {217, "LaserEnergyUvEtuDecoder"},
        {218, "LaserEnergyUvEtuCalibratedDecoder"},
        {219, "LaserEnergyUvFlightDecoder"},
        {220, "MicroPiraniPressureDecoder"},
        {221, "MicroPiraniPressureAvgDecoder"},
        {222, "MicroPiraniPressureHiDecoder"},
        {223, "MicroPiraniPressureLoDecoder"},
        {224, "SebAdcValueDecoder"},
        {225, "MicroPiraniAlgorithmDecoder"},
        {226, "SebRfFreqDecoder"},
        {227, "RsimBus1PowerDecoder"},
        {228, "RsimBus2PowerDecoder"},
        {229, "RsimBus3PowerDecoder"},
        {230, "SumPacketTotalIonCountDecoder"},
        {231, "LaserEnergyUvEtuAvgDecoder"},
        {232, "LaserEnergyUvEtuMinDecoder"},
        {233, "LaserEnergyUvEtuMaxDecoder"},
        {234, "LaserEnergyUvEtuStdDevDecoder"},
        {235, "LaserHkDecoder"},
        {236, "SebFilamentResistance"},
        {237, "LaserEnergyUvFlightAvgDecoder"},
        {238, "LaserEnergyUvFlightMinDecoder"},
        {239, "LaserEnergyUvFlightMaxDecoder"},
        {240, "LaserEnergyUvFlightStdDevDecoder"},
        {241, "NormalizedRfPressure"},
        {242, "LaserEnergyUvFlightSpareDecoder"},
        {243, "LaserEnergyUvFlightSpareAvgDecoder"},
        {244, "LaserEnergyUvFlightSpareMinDecoder"},
        {245, "LaserEnergyUvFlightSpareMaxDecoder"},
        {246, "LaserEnergyUvFlightSpareStdDevDecoder"},
        {247, "RoverBus1PowerDecoder"},
        {248, "RoverBus2PowerDecoder"},
        {249, "RoverBus3PowerDecoder"},
        {250, "RoverBus4PowerDecoder"}};
    TarGse::TarDataInterpretation engine;
    testing::internal::CaptureStderr();
    engine.loadDecoderPlugins(nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Loaded TARN decoders"), std::string::npos) << err;
    for (const auto& [type, name] : table) {
        ASSERT_NE(engine.decoder(type), nullptr) << type;
        EXPECT_EQ(engine.decoder(type)->type(), type);
        EXPECT_EQ(engine.decoderName(type), QByteArray(name)) << type;
    }
    EXPECT_EQ(engine.decoder(205), nullptr);
    EXPECT_EQ(engine.decoder(206), nullptr);
}

TEST(TarnDecoders, RsimBlockAndPower) {
    // 1000 samples from data byte 10: 1000 + i % 50, with the minimum 3 at samples 100 and 700
    // and the maximum 65000 at 250 and 900 (the earlier of each pair wins).
    Bytes d(10, 0);
    double sum = 0;
    for (int i = 0; i < 1000; ++i) {
        uint16_t v = uint16_t(1000 + i % 50);
        if (i == 100 || i == 700)
            v = 3;
        if (i == 250 || i == 900)
            v = 65000;
        put16(d, d.size(), v);
        sum += v;
    }
    const auto packet = tom(40, d);
    const GseLib::TmDatabaseRow row = rowOf(10, 2, 0xFFFF, 0);

    const Decoded each = run(RsimBus1CurrentDecoder(), row, *packet);
    ASSERT_EQ(each.items.size(), 1000u);
    expectItem(each.items[0], {1000, -1.0, 18});
    expectItem(each.items[100], {3, -1.0 + 0.1, 218});
    expectItem(each.items[999], {1000 + 999 % 50, -1.0 + 0.999, 18 + 1998});
    // The high byte alone through mask and shift.
    const Decoded high = run(RsimBus1CurrentDecoder(), rowOf(10, 2, 0xFF00, 8), *packet);
    EXPECT_EQ(high.items[250].toDouble(), 65000 >> 8);

    struct Case {
        std::function<GseLib::Decoder*()> make;
        Expect expect;
    };
    const std::vector<Case> cases = {
        {[] { return new RsimBus1CurrentMinDecoder; }, {3, -1.0 + 0.100, 218}},
        {[] { return new RsimBus1CurrentMaxDecoder; }, {65000, -1.0 + 0.250, 518}},
        {[] { return new RsimBus1CurrentAvgDecoder; }, {sum / 1000, -0.5, 18}},
    };
    for (const Case& c : cases) {
        std::unique_ptr<GseLib::Decoder> decoder(c.make());
        const Decoded r = run(*decoder, row, *packet);
        ASSERT_EQ(r.items.size(), 1u) << decoder->type();
        expectItem(r.items[0], c.expect);
        EXPECT_EQ(r.out, "");
    }

    // Five whole samples and a lone byte: the sixth is reported and reading stops.
    const auto shortPacket = tom(40, Bytes(21, 1));
    const Decoded cut = run(RsimBus1CurrentDecoder(), row, *shortPacket);
    EXPECT_EQ(cut.items.size(), 5u);
    EXPECT_EQ(cut.out, outOfBounds("RsimBus1CurrentDecoder", 20, 2, 21));

    // Power: a big-endian float at 20 times the one 12, 8 or 4 bytes on.
    Bytes p(40, 0);
    putFloat(p, 20, 2.5f);
    putFloat(p, 24, -2.0f);
    putFloat(p, 28, 3.0f);
    putFloat(p, 32, 4.0f);
    const auto powerPacket = tom(40, p);
    const GseLib::TmDatabaseRow powerRow = rowOf(20, 4, 0, 0);
    const std::vector<std::pair<std::function<GseLib::Decoder*()>, double>> powers = {
        {[] { return new RsimBus1PowerDecoder; }, 10.0},
        {[] { return new RsimBus2PowerDecoder; }, 7.5},
        {[] { return new RsimBus3PowerDecoder; }, -5.0}};
    for (const auto& [make, power] : powers) {
        std::unique_ptr<GseLib::Decoder> decoder(make());
        const Decoded r = run(*decoder, powerRow, *powerPacket);
        ASSERT_EQ(r.items.size(), 1u);
        expectItem(r.items[0], {power, -0.5, 28});
    }
    // The second float of type 227 would end at byte 36 of a 35-byte data field.
    const auto cutPower = tom(40, Bytes(p.begin(), p.begin() + 35));
    const Decoded failed = run(RsimBus1PowerDecoder(), powerRow, *cutPower);
    EXPECT_FALSE(failed.result);
    EXPECT_TRUE(failed.items.empty());
    EXPECT_EQ(failed.out, outOfBounds("RsimBus1PowerDecoder", 32, 4, 35));
}

TEST(TarnDecoders, MaifSamplesAndBaseTimes) {
    // Item 831 (the FPGA field) at data bytes 10-11.
    DbFile db;
    db.row(with(basicRow(831, "MAIF", "FPGA"),
                {{"PACKET_TYPE", "50"}, {"DECODE_TYPE", "3"}, {"DECODE_ID1", "10"}}));
    Engine engine(db);
    // Bound as a TARN file is: item offsets move past the header, and the item is read by its
    // own decoder with them (the MAIF packets are of another type than the item's).
    engine.di().updatePktOffsets(8);

    // Data bytes j hold j * 7 (mod 256) but the FPGA field and the MAIF timestamp at 3-4:
    // 0x3E80 = 16000 little-endian, 0.5 s.
    auto maifData = [](size_t length, uint16_t fpga) {
        Bytes d(length);
        for (size_t j = 0; j < length; ++j)
            d[j] = uint8_t(j * 7);
        d[3] = 0x80;
        d[4] = 0x3E;
        put16(d, 10, fpga);
        return d;
    };
    const Bytes shortData = maifData(468, 0x2C00);  // short: the FPGA does not count
    const Bytes stamped = maifData(470, 0x2C00);    // long, 0x2C00 > 0x2B00: start 5, -0.5 s
    const Bytes unstamped = maifData(470, 0x2BFF);  // long, masked to 0x2800: start 3, -1 s
    EXPECT_DOUBLE_EQ(TarGse::extractMaifTimestampSecs(stamped), 0.5);
    EXPECT_EQ(TarGse::getMaifFpgaVersion(stamped, &engine.di()), 0x2Cu);
    EXPECT_EQ(TarGse::getMaifFpgaVersion(unstamped, &engine.di()), 0x2Bu);

    auto le = [](const Bytes& d, size_t at) { return double(d[at] | (d[at + 1] << 8)); };
    struct Single {
        const Bytes* data;
        uint64_t offset;
        double dt;
    };
    const std::vector<Single> singles = {{&shortData, 13, -1.0 + 10 * 0.00125},
                                         {&stamped, 13, -0.5 + 8 * 0.00125},
                                         {&unstamped, 13, -1.0 + 10 * 0.00125},
                                         {&stamped, 462, -0.5 + 457 * 0.00125},
                                         {&stamped, 463, 0.0},
                                         {&stamped, 4, 0.0},
                                         {&unstamped, 4, -1.0 + 1 * 0.00125}};
    MaifDecoder single;
    single.setEngine(&engine.di());
    for (const Single& s : singles) {
        const auto packet = tom(50, *s.data);
        const Decoded r = run(single, rowOf(s.offset, 2, 0, 0), *packet);
        ASSERT_EQ(r.items.size(), 1u);
        expectItem(r.items[0], {le(*s.data, s.offset), s.dt, uint32_t(s.offset + 8)});
    }

    // Blocks: sample offsets by hand from the byte steps (8 x 14, then 4; current: 6 once);
    // pressure from byte 13, current from 11 (whose last sample ends at 467).
    auto pressureAt = [](int k) { return 13 + 8 * std::min(k, 14) + 4 * std::max(0, k - 14); };
    auto currentAt = [](int k) {
        return 11 + 8 * std::min(k, 14) + (k > 14 ? 6 + 4 * (k - 15) : 0);
    };
    struct Block {
        std::function<GseLib::Decoder*()> make;
        const Bytes* data;
        std::function<int(int)> at;
        double t0;
    };
    const std::vector<Block> blocks = {
        {[] { return new MaifPressureDecoder; }, &shortData, pressureAt, -1.0 + 10 * 0.00125},
        {[] { return new MaifPressureDecoder; }, &stamped, pressureAt, -0.5 + 8 * 0.00125},
        {[] { return new MaifCurrentDecoder; }, &shortData, currentAt, -1.0},
        {[] { return new MaifCurrentDecoder; }, &stamped, currentAt, -0.5}};
    for (const Block& b : blocks) {
        std::unique_ptr<GseLib::Decoder> decoder(b.make());
        decoder->setEngine(&engine.di());
        const auto packet = tom(50, *b.data);
        const Decoded r = run(*decoder, rowOf(uint64_t(b.at(0)), 2, 0, 0), *packet);
        ASSERT_EQ(r.items.size(), 100u) << r.out;
        for (int k : {0, 13, 14, 15, 16, 99}) {
            const int at = b.at(k);
            expectItem(r.items[size_t(k)],
                       {le(*b.data, size_t(at)), b.t0 + 0.01 * k, uint32_t(at + 8)});
        }
    }

    // One-minute block from byte 6: its start 10000 ms (bytes 4-5) + 60 s before the packet;
    // a 100-byte packet holds 47 samples and reports the 48th.
    Bytes minute = maifData(100, 0);
    minute[4] = 0x10;
    minute[5] = 0x27;
    const auto minutePacket = tom(50, minute);
    const Decoded m = run(Maif1MinDecoder(), rowOf(6, 2, 0, 0), *minutePacket);
    ASSERT_EQ(m.items.size(), 47u);
    expectItem(m.items[0], {le(minute, 6), -70.0, 14});
    expectItem(m.items[46], {le(minute, 98), -70.0 + 0.46, 106});
    EXPECT_EQ(m.out, outOfBounds("Maif1MinDecoder", 100, 2, 100));
    const Decoded fromEight = run(Maif1MinDecoder(), rowOf(8, 2, 0, 0), *minutePacket);
    expectItem(fromEight.items[0], {le(minute, 8), 0.0, 16});
}

TEST(TarnDecoders, MicroPiraniRecords) {
    // Three records (count 5 but room for 3): steps 100, 250, 50 (x 0.1 ms), pressures at
    // data 6 + 12 i: 500, 900, 900.
    Bytes d(40, 0);
    put16(d, 0, 5);
    const uint16_t steps[3] = {100, 250, 50};
    const uint16_t values[3] = {500, 900, 900};
    for (int i = 0; i < 3; ++i) {
        put16(d, 4 + 12 * size_t(i), steps[i]);
        put16(d, 6 + 12 * size_t(i), values[i]);
    }
    const auto packet = tom(60, d);
    const GseLib::TmDatabaseRow row = rowOf(6, 2, 0, 0);

    const Decoded each = run(MicroPiraniPressureDecoder(), row, *packet);
    ASSERT_EQ(each.items.size(), 3u);
    expectItem(each.items[0], {500, 0.0100, 14});
    expectItem(each.items[1], {900, 0.0350, 26});
    expectItem(each.items[2], {900, 0.0400, 38});

    struct Case {
        std::function<GseLib::Decoder*()> make;
        Expect expect;
    };
    const std::vector<Case> cases = {
        {[] { return new MicroPiraniPressureAvgDecoder; }, {766, 0.02, 14}},  // 2300 / 3
        {[] { return new MicroPiraniPressureHiDecoder; }, {900, 0.035, 26}},
        {[] { return new MicroPiraniPressureLoDecoder; }, {500, 0.0, 14}}};
    for (const Case& c : cases) {
        std::unique_ptr<GseLib::Decoder> decoder(c.make());
        const Decoded r = run(*decoder, row, *packet);
        ASSERT_EQ(r.items.size(), 1u) << decoder->type();
        expectItem(r.items[0], c.expect);
    }

    // No records: extremes give 0 at the packet's time, the average nothing.
    Bytes empty(40, 0);
    const auto emptyPacket = tom(60, empty);
    const Decoded hi = run(MicroPiraniPressureHiDecoder(), row, *emptyPacket);
    ASSERT_EQ(hi.items.size(), 1u);
    expectItem(hi.items[0], {0, 0.0, 0});
    EXPECT_TRUE(run(MicroPiraniPressureAvgDecoder(), row, *emptyPacket).items.empty());

    // A field at 30: the second record's (42) passes the data length.
    const Decoded cut = run(MicroPiraniPressureDecoder(), rowOf(30, 2, 0, 0), *packet);
    EXPECT_EQ(cut.items.size(), 1u);
    EXPECT_EQ(cut.out, outOfBounds("MicroPiraniPressureDecoder", 42, 2, 40));
}

TEST(TarnDecoders, MicroPiraniAlgorithm) {
    // Reference 0x2710 = 10000 at data byte 81 and readings 0x4E20 = 20000 at 11, 19, ...,
    // each sent low byte first.
    Bytes d(101, 0);
    for (size_t at = 11; at + 2 <= 101; at += 8) {
        d[at] = 0x20;
        d[at + 1] = 0x4E;
    }
    d[81] = 0x10;
    d[82] = 0x27;
    const auto packet = tom(61, d);
    const Decoded r = run(MicroPiraniAlgorithmDecoder(), rowOf(11, 2, 0, 0), *packet);
    // Offsets 11 to 99 in steps of 8: 12 samples.
    ASSERT_EQ(r.items.size(), 12u);
    const double v0 = 10000 * 7.629e-05 / 8.071 + 0.95;
    const double r0 = 7500.0 * v0 / (2.7001 - v0);
    // T0 solves r0 = 1376.35 + 3.76966 T + 0.05841 T^2.
    const double a = 0.05841, b = 3.76966, c = 1376.35 - r0;
    const double t0 = (-b + std::sqrt(b * b - 4 * a * c)) / (2 * a);
    const double v = 20000 * 7.629e-05 / 8.041 + v0;
    const double rs = 7500.0 * v / (2.7001 - v);
    const double t =
        (-4.52503 + std::sqrt(4.52503 * 4.52503 - 4 * 0.05785 * (1364.47 - rs))) / (2 * 0.05785);
    const double k = 0.004616294391145 / std::sqrt(t0);
    const double expected = 1000.0 *
                            (v * v / rs - (7.46e-07 * (t - t0) +
                                           4.52350332e-15 * (t * t * t * t - t0 * t0 * t0 * t0))) /
                            (k * (t - t0));
    expectItem(r.items[0], {expected, 0.0, 19});
    expectItem(r.items[11], {expected, 0.11, 107});
    EXPECT_NEAR(r.items[0].toDouble(), expected, 1e-6 * std::fabs(expected));
    // The reference byte beyond the data: nothing.
    const auto shortPacket = tom(61, Bytes(d.begin(), d.begin() + 82));
    EXPECT_TRUE(run(MicroPiraniAlgorithmDecoder(), rowOf(11, 2, 0, 0), *shortPacket).items.empty());
}

TEST(TarnDecoders, LaserSamples) {
    // Six samples: field (G bits 12-13, R bits 14-15, 12-bit value) at 8 + 16 i, ticks 5000 +
    // 100 i at 4 + 16 i. Selections (G, R): (0,1), (1,1), (1,0), (2,2), (0,0), (3,0).
    const uint16_t fields[6] = {0x4000 | 1000, 0x5000 | 2000, 0x1000 | 500,
                                0xA000 | 300,  0x0000 | 800,  0x3000 | 1200};
    Bytes d(100, 0);
    put16(d, 0, 6);
    for (size_t i = 0; i < 6; ++i) {
        put32(d, 4 + 16 * i, uint32_t(5000 + 100 * i));
        put16(d, 8 + 16 * i, fields[i]);
    }
    const auto packet = tom(15, d);
    const GseLib::TmDatabaseRow row = rowOf(8, 2, 0x0FFF, 0);

    struct Case {
        std::function<GseLib::Decoder*()> make;
        std::vector<double> energies;
    };
    const std::vector<Case> cases = {{[] { return new LaserEnergyUvEtuDecoder; },
                                      {80.71406 * 1.0 - 12.0076, 29.82948 * 2.0 - 2.65053,
                                       19.81893 * 0.5 - 0.87182, 0.3, 0.8, 1.2}},
                                     {[] { return new LaserEnergyUvEtuCalibratedDecoder; },
                                      {0.0836 * 1000, 0.0323 * 2000, 0.0215 * 500, 300, 800, 1200}},
                                     {[] { return new LaserEnergyUvFlightDecoder; },
                                      {1000, 2000, 0.01966 * 500 + 0.26179, 300,
                                       0.05045 * 800 - 0.79244, 0.00701 * 1200 + 0.43667}},
                                     {[] { return new LaserEnergyUvFlightSpareDecoder; },
                                      {1000, 2000, 0.02205 * 500 + 0.462, 300,
                                       0.05619 * 800 - 0.08587, 0.008 * 1200 + 0.45496}}};
    for (const Case& c : cases) {
        std::unique_ptr<GseLib::Decoder> decoder(c.make());
        const Decoded r = run(*decoder, row, *packet);
        ASSERT_EQ(r.items.size(), 6u) << decoder->type();
        for (size_t i = 0; i < 6; ++i) {
            expectItem(r.items[i], {c.energies[i], 0.0, uint32_t(16 + 16 * i)},
                       1e9 + 5000 + 100 * i, 5000 + 100 * i);
        }
    }

    // Statistics of each calibration: mean and deviation timed at the first sample, extremes
    // at theirs.
    struct Stats {
        std::vector<std::function<GseLib::Decoder*()>> make;  // avg, min, max, std
        std::vector<double> energies;
    };
    const std::vector<Stats> stats = {{{[] { return new LaserEnergyUvEtuAvgDecoder; },
                                        [] { return new LaserEnergyUvEtuMinDecoder; },
                                        [] { return new LaserEnergyUvEtuMaxDecoder; },
                                        [] { return new LaserEnergyUvEtuStdDevDecoder; }},
                                       cases[1].energies},
                                      {{[] { return new LaserEnergyUvFlightAvgDecoder; },
                                        [] { return new LaserEnergyUvFlightMinDecoder; },
                                        [] { return new LaserEnergyUvFlightMaxDecoder; },
                                        [] { return new LaserEnergyUvFlightStdDevDecoder; }},
                                       cases[2].energies},
                                      {{[] { return new LaserEnergyUvFlightSpareAvgDecoder; },
                                        [] { return new LaserEnergyUvFlightSpareMinDecoder; },
                                        [] { return new LaserEnergyUvFlightSpareMaxDecoder; },
                                        [] { return new LaserEnergyUvFlightSpareStdDevDecoder; }},
                                       cases[3].energies}};
    for (const Stats& s : stats) {
        double mean = 0;
        size_t lo = 0, hi = 0;
        for (size_t i = 0; i < 6; ++i) {
            mean += s.energies[i] / 6;
            lo = s.energies[i] < s.energies[lo] ? i : lo;
            hi = s.energies[i] > s.energies[hi] ? i : hi;
        }
        double var = 0;
        for (double e : s.energies)
            var += (e - mean) * (e - mean) / 6;
        const std::vector<std::pair<double, size_t>> expected = {
            {mean, 0}, {s.energies[lo], lo}, {s.energies[hi], hi}, {std::sqrt(var), 0}};
        for (size_t j = 0; j < 4; ++j) {
            std::unique_ptr<GseLib::Decoder> decoder(s.make[j]());
            const Decoded r = run(*decoder, row, *packet);
            ASSERT_EQ(r.items.size(), 1u) << decoder->type();
            const size_t at = expected[j].second;
            expectItem(r.items[0], {expected[j].first, 0.0, uint32_t(16 + 16 * at)},
                       1e9 + 5000 + 100 * at, 5000 + 100 * at);
        }
    }
    // Equal energies: the earlier sample stays the extreme.
    Bytes tie = d;
    put16(tie, 0, 3);
    put16(tie, 8 + 16, fields[0]);
    put16(tie, 8 + 32, fields[0]);
    for (const GseLib::Decoder* decoder : std::initializer_list<const GseLib::Decoder*>{
             new LaserEnergyUvEtuMinDecoder, new LaserEnergyUvEtuMaxDecoder}) {
        const Decoded r = run(*decoder, row, *tom(15, tie));
        ASSERT_EQ(r.items.size(), 1u);
        expectItem(r.items[0], {83.6, 0.0, 16}, 1e9 + 5000, 5000);
        delete decoder;
    }
    const auto none = tom(15, Bytes(20, 0));
    EXPECT_TRUE(run(LaserEnergyUvFlightMaxDecoder(), row, *none).items.empty());

    // Pulses: the 16-bit field read as ticks (215) or as a value at the sample's ticks (216).
    const GseLib::TmDatabaseRow whole = rowOf(8, 2, 0, 0);
    const Decoded times = run(LaserPulseTimeDecoder(), whole, *packet);
    const Decoded regs = run(LaserPulseRegsDecoder(), whole, *packet);
    ASSERT_EQ(times.items.size(), 6u);
    ASSERT_EQ(regs.items.size(), 6u);
    for (size_t i = 0; i < 6; ++i) {
        expectItem(times.items[i], {double(fields[i]), 0.0, uint32_t(16 + 16 * i)}, 1e9 + fields[i],
                   fields[i]);
        expectItem(regs.items[i], {double(fields[i]), 0.0, uint32_t(16 + 16 * i)},
                   1e9 + 5000 + 100 * i, 5000 + 100 * i);
    }

    // A count of 7 in 100 bytes: the seventh field (104) is reported.
    Bytes seven = d;
    put16(seven, 0, 7);
    const auto sevenPacket = tom(15, seven);
    const Decoded cut = run(LaserEnergyUvEtuCalibratedDecoder(), row, *sevenPacket);
    EXPECT_EQ(cut.items.size(), 6u);
    EXPECT_EQ(cut.out, outOfBounds("LaserEnergyUvEtuCalibratedDecoder", 104, 2, 100));
}

TEST(TarnDecoders, SciencePacketsGcAndSebAdc) {
    Engine engine(scanDatabase());
    // Aggregated (28) and summed (27) packets with two descriptors and 30 bytes of counts:
    // 30 bins or 15. Segment i starts at (100 i - bins) bin periods of 1 ms.
    const Bytes counts(30, 1);
    const Bytes agg = multiData(0, 1, {{1, 0, 0, 0}, {101, 0, 0, 0}}, {}, counts);
    TarGse::TarTelemetryCache::ip_ = 0.001;
    struct Case {
        int type;
        int bins;
    };
    for (const Case& c : std::vector<Case>{{28, 30}, {27, 15}}) {
        const auto packet = tom(c.type, agg);
        const Decoded r = run(AggregatedSciPacketDecoder(), rowOf(4, 2, 0, 0), *packet);
        ASSERT_EQ(r.items.size(), 2u);
        expectItem(r.items[0], {1, -c.bins * 0.001, 12});
        expectItem(r.items[1], {101, (100 - c.bins) * 0.001, 20});
    }
    // Three segments declared, two present in 20 data bytes.
    Bytes three(agg.begin(), agg.begin() + 20);
    put16(three, 2, 3);
    const Decoded cut = run(AggregatedSciPacketDecoder(), rowOf(4, 2, 0, 0), *tom(28, three));
    EXPECT_EQ(cut.items.size(), 2u);
    EXPECT_EQ(cut.out, outOfBounds("AggregatedSciPacketDecoder", 20, 2, 20));
    TarGse::TarTelemetryCache::ip_ = 0.0;

    // Total ion count of a summed packet: 200 big-endian counts 0x0100 + k.
    Bytes c16;
    double total = 0;
    for (int k = 0; k < 200; ++k) {
        put16(c16, c16.size(), uint16_t(0x0100 + k));
        total += 0x0100 + k;
    }
    const auto summed = tom(27, multiData(0, 1, {{1, 0, 0, 0}, {101, 0, 0, 0}}, {}, c16));
    const Decoded tic = run(SumPacketTotalIonCountDecoder(), rowOf(0, 0, 0, 0), *summed);
    ASSERT_EQ(tic.items.size(), 1u);
    expectItem(tic.items[0], {total, 0.0, 8});

    // GC: channel 7 in records 0, 5 and 19 (value 0xABCD), channel 8 in record 1.
    Bytes gc(44 + 60 * 19 + 3, 0);
    for (size_t k : {0, 5, 19}) {
        gc[44 + 60 * k] = 7;
        put16(gc, 45 + 60 * k, 0xABCD);
    }
    gc[104] = 8;
    const auto gcPacket = tom(45, gc);
    const Decoded g = run(GcPacketDecoder(), rowOf(44, 7, 0x0FFF, 2), *gcPacket);
    ASSERT_EQ(g.items.size(), 3u);
    const double v = (7 << 16) | ((0xABCD & 0x0FFF) >> 2);
    expectItem(g.items[0], {v, -1.0, 53});
    expectItem(g.items[1], {v, -0.75, 353});
    expectItem(g.items[2], {v, -0.05, 1193});
    EXPECT_EQ(g.out, "");
    // Records from another start carry no channel bits; a packet cut inside record 2 stops.
    Bytes shifted(20 + 60 * 2 + 2, 0);
    shifted[20] = 7;
    put16(shifted, 21, 0x1234);
    const Decoded s = run(GcPacketDecoder(), rowOf(20, 7, 0xFFFF, 0), *tom(45, shifted));
    ASSERT_EQ(s.items.size(), 1u);
    expectItem(s.items[0], {0x1234, -1.0, 29});
    EXPECT_EQ(s.out, outOfBounds("GcPacketDecoder", 140, 3, 142));

    // SEB ADC: channel 9 at entries 0 and 30, 20 ms apart, ending a spacing before the packet.
    Bytes adc(201, 0);
    adc[6] = 9;
    put16(adc, 7, 0x0102);
    adc[6 + 90] = 9;
    put16(adc, 97, 0x0A0B);
    adc[9] = 5;
    adc[200] = 20;
    const Decoded a = run(SebAdcValueDecoder(), rowOf(9, 0, 0, 0), *tom(46, adc));
    ASSERT_EQ(a.items.size(), 2u);
    expectItem(a.items[0], {0x0102, -31 * 0.02, 15});
    expectItem(a.items[1], {0x0A0B, -1 * 0.02, 105});
}

TEST(TarnDecoders, MaifFpgaFieldReadByItsOwnDecoder) {
    // Item 831 as a little-endian row (type 2) at data bytes 10-11: 0x2C00 stored 00 2C. Read as
    // its row says, the FPGA stamps its samples (start 5, minus the stamp at 3-4: 0.5 s); read
    // big-endian it would be 0x002C and the base -1 s.
    DbFile db;
    db.row(with(basicRow(831, "MAIF", "FPGA"), {{"PACKET_TYPE", "50"},
                                                {"DECODE_TYPE", "2"},
                                                {"DECODE_ID1", "10"},
                                                {"DECODE_ID2", "2"},
                                                {"DECODE_ID3", "0xFFFF"}}));
    Engine engine(db);
    engine.di().updatePktOffsets(8);
    Bytes d(470, 0);
    d[3] = 0x80;
    d[4] = 0x3E;
    d[10] = 0x00;
    d[11] = 0x2C;
    MaifDecoder single;
    single.setEngine(&engine.di());
    const Decoded r = run(single, rowOf(13, 2, 0, 0), *tom(31, d));
    ASSERT_EQ(r.items.size(), 1u);
    expectItem(r.items[0], {0.0, -0.5 + 8 * 0.00125, 21});
}

TEST(TarnDecoders, ItemsOfTheSamePacket) {
    // Offsets as a bound TARN engine has them (moved past the 8-byte header), so every item
    // counts from the data field: 501, 502 and 503 at data 10, 12 and 14, read by their own
    // decoder; 511 two values at 30 and 32, 0.5 s apart, x 0.5; 512 one at 34; 513 two at 36
    // and 38; 1094 at 40. Items report packet byte offsets (data + 8).
    auto item = [](int id, const char* offsets, const char* k2) {
        return with(
            basicRow(id, "ITEM", QStringLiteral("I%1").arg(id)),
            {{"DECODE_ID1", offsets}, {"SCI_EQ_TYPE", "1"}, {"SCI_K1", "0"}, {"SCI_K2", k2}});
    };
    DbFile db;
    db.row(item(501, "10", "1"))
        .row(item(502, "12", "1"))
        .row(item(503, "14", "1"))
        .row(item(511, "30,0:32,0.5", "0.5"))
        .row(item(512, "34", "1"))
        .row(item(513, "36,0:38,0.25", "1"))
        .row(item(1094, "40", "1"));
    Engine engine(db);
    engine.di().updatePktOffsets(8);
    Bytes d(42, 0);
    put16(d, 10, 400);
    put16(d, 12, 100);
    put16(d, 30, 100);
    put16(d, 32, 200);
    put16(d, 34, 4);
    put16(d, 36, 5);
    put16(d, 38, 0);
    put16(d, 40, 2500);
    const auto packet = tom(22, d);
    auto decodeWith = [&](GseLib::Decoder&& decoder, uint64_t a, uint64_t b) {
        decoder.setEngine(&engine.di());
        return run(decoder, rowOf(a, b, 0, 0), *packet);
    };

    // RF frequency 5000 B / A, nothing for A = 0.
    const Decoded rf = decodeWith(SebRfFreqDecoder(), 501, 502);
    ASSERT_EQ(rf.items.size(), 1u);
    expectItem(rf.items[0], {5000.0 * 100 / 400, 0.0, 20});
    EXPECT_TRUE(decodeWith(SebRfFreqDecoder(), 503, 502).items.empty());

    struct Case {
        std::function<GseLib::Decoder*()> make;
        uint64_t a, b;
        std::vector<Expect> expect;
    };
    const std::vector<Case> cases = {
        // Equal lists: 50/5, and 100/0 skipped.
        {[] { return new SebFilamentResistance; }, 511, 513, {{10.0, 0.0, 38}}},
        // A longer: each A over B0, timed like A.
        {[] { return new SebFilamentResistance; }, 511, 512, {{12.5, 0.0, 38}, {25.0, 0.5, 40}}},
        // B longer: A0 over each B, timed like B (zero divisor skipped).
        {[] { return new SebFilamentResistance; }, 512, 513, {{0.8, 0.0, 44}}},
        {[] { return new NormalizedRfPressure; },
         512,
         511,
         {{4 * 293.0 / (50 + 273.15), 0.0, 38}, {4 * 293.0 / (100 + 273.15), 0.5, 40}}},
        {[] { return new RoverBus1PowerDecoder; }, 511, 512, {{200.0, 0.0, 0}}},
        {[] { return new RoverBus4PowerDecoder; }, 512, 511, {{200.0, 0.0, 0}}},
        {[] { return new RoverBus2PowerDecoder; }, 9999, 512, {}},
        {[] { return new SebFilamentResistance; }, 9999, 512, {}},
    };
    for (const Case& c : cases) {
        std::unique_ptr<GseLib::Decoder> decoder(c.make());
        decoder->setEngine(&engine.di());
        testing::internal::CaptureStderr();
        const Decoded r = run(*decoder, rowOf(c.a, c.b, 0, 0), *packet);
        testing::internal::GetCapturedStderr();
        ASSERT_EQ(r.items.size(), c.expect.size()) << decoder->type() << " " << c.a;
        for (size_t i = 0; i < c.expect.size(); ++i) {
            expectItem(r.items[i], c.expect[i]);
        }
    }

    // Laser housekeeping: 2500 ms -> 2 s periods; field at data 6 is half-period 6.
    put16(d, 6, 0x0ABC);
    const auto hkPacket = tom(22, d);
    LaserHkDecoder hk;
    hk.setEngine(&engine.di());
    const Decoded h = run(hk, rowOf(6, 2, 0, 0), *hkPacket);
    ASSERT_EQ(h.items.size(), 1u);
    expectItem(h.items[0], {0x0ABC, 6 * 0.5 * 2, 14});
}
