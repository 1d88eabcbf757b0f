#pragma once

namespace GseLib {

/// Asks for the cache line at p without waiting for it: a hint for loops that walk packets
/// scattered over the heap (nothing where the compiler has no such hint).
inline void prefetch(const void* p) {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(p);
#else
    (void)p;
#endif
}

}  // namespace GseLib
