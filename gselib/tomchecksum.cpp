#include <gselib/tomchecksum.h>

#include <QtEndian>

namespace GseLib {

namespace {

// Sums are folded after every block of this many words. Within a block sum2 grows by at most
// 360 * (block start + 360 * 0xFFFF), which a 64-bit accumulator holds with room to spare.
constexpr size_t kBlockWords = 360;

inline uint64_t fold(uint64_t s) {
    return (s & 0xFFFFu) + (s >> 16);
}

inline uint32_t beWord32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

template <bool WithSum2>
void accumulate(const uint8_t* data, size_t n, ChecksumState& state) {
    uint64_t s1 = state.sum1;
    uint64_t s2 = state.sum2;
    size_t words = n / 2;
    const uint8_t* p = data;
    while (words > 0) {
        const size_t block = words < kBlockWords ? words : kBlockWords;
        for (size_t i = 0; i < block; ++i, p += 2) {
            s1 += (uint64_t(p[0]) << 8) | p[1];
            if constexpr (WithSum2) {
                s2 += s1;
            }
        }
        words -= block;
        s1 = fold(s1);
        if constexpr (WithSum2) {
            s2 = fold(s2);
        }
    }
    if (n & 1u) {
        s1 += uint64_t(data[n - 1]) << 8;
        if constexpr (WithSum2) {
            s2 += s1;
        }
    }
    state.sum1 = s1;
    state.sum2 = s2;
}

}  // namespace

void start_checksum(ChecksumState& state) {
    state.sum1 = 0xFFFF;
    state.sum2 = 0xFFFF;
}

void start_checksum_new(ChecksumState& state) {
    state.sum1 = 1;
    state.sum2 = 0;
}

void add_checksum(const uint8_t* data, size_t n, ChecksumState& state) {
    accumulate<true>(data, n, state);
}

void fast_add_checksum(const uint8_t* data, size_t n, ChecksumState& state) {
    accumulate<false>(data, n, state);
}

uint32_t end_checksum(ChecksumState& state) {
    state.sum1 = fold(state.sum1);
    state.sum2 = fold(state.sum2);
    return qToBigEndian(static_cast<uint32_t>((state.sum2 << 16) | state.sum1));
}

uint32_t tom_checksum(const uint8_t* data, size_t n) {
    ChecksumState state;
    start_checksum(state);
    add_checksum(data, n, state);
    return qFromBigEndian(end_checksum(state));
}

bool correct_checksum(const uint8_t* data, size_t n, bool quick) {
    const uint32_t stored = beWord32(data + n);
    if (quick) {
        ChecksumState s;
        start_checksum(s);
        fast_add_checksum(data, n, s);
        if (static_cast<uint16_t>(fold(s.sum1)) != static_cast<uint16_t>(stored & 0xFFFFu)) {
            return false;
        }
    }
    return tom_checksum(data, n) == stored;
}

}  // namespace GseLib
