#pragma once

namespace k814util {

/**
 * @brief One decoded value with its two timestamps.
 */
struct TMDatapoint {
    TMDatapoint() = default;
    TMDatapoint(double unix_timestamp, double relative_timestamp, double value)
        : unix_timestamp(unix_timestamp), relative_timestamp(relative_timestamp), value(value) {}

    double unix_timestamp = 0.0;
    double relative_timestamp = 0.0;
    double value = 0.0;
};

}  // namespace k814util
