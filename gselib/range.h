#pragma once

namespace GseLib {

/// A closed interval [min, max].
template <typename T>
struct Range {
    T min{};
    T max{};
    bool contains(T v) const { return min <= v && v <= max; }
    bool operator==(const Range& o) const { return min == o.min && max == o.max; }
    bool operator!=(const Range& o) const { return !(*this == o); }
};

}  // namespace GseLib
