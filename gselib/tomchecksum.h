#pragma once

#include <cstddef>
#include <cstdint>

namespace GseLib {

/// Running state of a TOM checksum: the two Fletcher-style accumulators.
struct ChecksumState {
    uint64_t sum1 = 0;
    uint64_t sum2 = 0;
};

/// Starts a TOM checksum: both sums 0xFFFF.
void start_checksum(ChecksumState& state);
/// Starts the newer variant: sum1 = 1, sum2 = 0.
void start_checksum_new(ChecksumState& state);
/// Adds n bytes, read as big-endian 16-bit words (an odd last byte counts as its high half).
void add_checksum(const uint8_t* data, size_t n, ChecksumState& state);
/// As add_checksum, for sum1 alone.
void fast_add_checksum(const uint8_t* data, size_t n, ChecksumState& state);
/**
 * Folds both sums and returns (sum2 << 16) | sum1 in network byte order: the value's bytes in
 * memory are the four bytes a packet stores after its data, so a writer copies it as it is.
 */
uint32_t end_checksum(ChecksumState& state);
/// The checksum of n bytes from start_checksum, as a number ((sum2 << 16) | sum1, host order).
uint32_t tom_checksum(const uint8_t* data, size_t n);
/**
 * True when the big-endian 32-bit value stored at data[n..n+3] is the checksum of data[0..n-1].
 * With quick set, sum1 alone is compared first with the low half, so most mismatches cost one
 * accumulator. The caller guarantees n + 4 readable bytes.
 */
bool correct_checksum(const uint8_t* data, size_t n, bool quick);

}  // namespace GseLib
