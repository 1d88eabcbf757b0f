// Decodes a 1000-sample RSIM current block (type 211) and a 100-sample MAIF pressure block
// (type 208) from N packets with the TARN custom decoders, and compares each with the floor: a
// plain loop reading the same samples into a preallocated array. The packets are 256 distinct
// ones, cycled. Also counts heap allocations per packet, to show that decoding allocates
// nothing per sample beyond the output items (the item vector is reused, so none at all once
// it has grown).
//
//   tarndecoder_bench [--packets N] [--repeat R]

#include <gselib/secondstimeresolvers.h>
#include <gselib/tmdatabaserow.h>
#include <gselib/tompacket.h>
#include <tarnlib/maifdecoders.h>
#include <tarnlib/rsimdecoders.h>

#include "benchutil.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

namespace {

std::atomic<long long> allocations{0};

}  // namespace

void* operator new(std::size_t n) {
    ++allocations;
    if (void* p = std::malloc(n ? n : 1)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using bench::median;

constexpr int DISTINCT = 256;

std::vector<GseLib::TMPacketPtr> makePackets(int type, size_t dataLength,
                                             const GseLib::TimeResolver* resolver) {
    std::vector<GseLib::TMPacketPtr> packets;
    uint32_t seed = 12345;
    for (int k = 0; k < DISTINCT; ++k) {
        GseLib::ByteVector b = {uint8_t(type),       uint8_t(k), uint8_t(dataLength >> 8),
                                uint8_t(dataLength), 0,          0,
                                uint8_t(k >> 8),     uint8_t(k)};
        for (size_t i = 0; i < dataLength + 4; ++i) {
            seed = seed * 1103515245u + 12345u;
            b.push_back(uint8_t(seed >> 16));
        }
        packets.push_back(
            std::make_shared<GseLib::TomPacket>(b.data(), int(b.size()), k, resolver));
    }
    return packets;
}

struct Case {
    const char* name;
    const GseLib::Decoder& decoder;
    GseLib::TmDatabaseRow row;
    std::vector<GseLib::TMPacketPtr> packets;
    std::vector<uint64_t> offsets;  // data-field offsets of the samples, for the floor
    bool littleEndian;
};

void run(const Case& c, int n, int repeat) {
    GseLib::DataItems items;
    double decoded = 0;
    const long long before = allocations.load();
    const double tDecode = median(repeat, [&] {
        for (int i = 0; i < n; ++i) {
            items.clear();
            c.decoder.decode(c.row, c.packets[size_t(i % DISTINCT)].get(), items, nullptr);
            decoded += items.empty() ? 0.0 : items.back().toDouble();
        }
    });
    const double perPacket = double(allocations.load() - before) / (double(n) * repeat);
    const size_t samples = c.offsets.size();
    std::vector<double> values(samples);
    double floorSum = 0;
    const double tFloor = median(repeat, [&] {
        for (int i = 0; i < n; ++i) {
            const uint8_t* data = c.packets[size_t(i % DISTINCT)]->data() + 8;
            for (size_t s = 0; s < samples; ++s) {
                const uint8_t* p = data + c.offsets[s];
                values[s] =
                    c.littleEndian ? double(p[0] | (p[1] << 8)) : double((p[0] << 8) | p[1]);
            }
            floorSum += values[samples - 1];
        }
    });
    const double total = double(n) * double(samples);
    std::printf(
        "%-28s %8.1f M samples/s  floor %8.1f M samples/s  ratio %5.2f  "
        "allocations/packet %.3f  (items %zu, check %.0f %.0f)\n",
        c.name, total / tDecode / 1e6, total / tFloor / 1e6, tDecode / tFloor, perPacket,
        items.size(), decoded / repeat, floorSum / repeat);
}

}  // namespace

int main(int argc, char** argv) {
    const int n = bench::intOption(argc, argv, "--packets", 100000);
    const int repeat = bench::intOption(argc, argv, "--repeat", 3);
    static GseLib::UnixTimeResolver resolver;

    GseLib::TmDatabaseRow rsimRow;
    rsimRow.decode_id = {4, 2, 0xFFFF, 0};
    std::vector<uint64_t> rsimOffsets;
    for (uint64_t i = 0; i < 1000; ++i) {
        rsimOffsets.push_back(4 + 2 * i);
    }
    // The pressure block: 8 bytes apart for 14 steps, then 4.
    GseLib::TmDatabaseRow maifRow;
    maifRow.decode_id = {13, 2, 0, 0};
    std::vector<uint64_t> maifOffsets;
    for (uint64_t k = 0, at = 13; k < 100; ++k, at += k <= 14 ? 8 : 4) {
        maifOffsets.push_back(at);
    }

    const TarGse::TarDataInterpretationImpl::RsimBus1CurrentDecoder rsim;
    const TarGse::TarDataInterpretationImpl::MaifPressureDecoder maif;
    const std::vector<Case> cases = {{"RSIM block (1000 samples)", rsim, rsimRow,
                                      makePackets(40, 2004, &resolver), rsimOffsets, false},
                                     {"MAIF pressure (100 samples)", maif, maifRow,
                                      makePackets(50, 468, &resolver), maifOffsets, true}};
    std::printf("%d packets, median of %d\n", n, repeat);
    for (const Case& c : cases) {
        run(c, n, repeat);
    }
    return 0;
}
