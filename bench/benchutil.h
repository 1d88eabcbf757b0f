#pragma once

// Helpers shared by the benchmarks: timing, memory and option parsing.

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

/// The median wall time of repeat runs of f, in seconds.
template <typename F>
double median(int repeat, F&& f) {
    std::vector<double> t;
    for (int i = 0; i < repeat; ++i) {
        const auto start = Clock::now();
        f();
        t.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

/// The process's peak resident set so far, in MB.
inline double peakRssMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

/// The integer after "name" on the command line, or fallback.
inline int intOption(int argc, char** argv, const char* name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (!std::strcmp(argv[i], name))
            return std::atoi(argv[i + 1]);
    }
    return fallback;
}

}  // namespace bench
