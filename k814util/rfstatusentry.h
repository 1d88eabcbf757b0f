#pragma once

#include <cstdint>

namespace k814util {

/**
 * @brief One segment of a scan as scripts see it: its first bin and the RF values at its start.
 */
struct RfStatusEntry {
    uint16_t start_bin = 0;
    double rf_amp_v = 0.0;
    double rf_amp_dac_v = 0.0;
    double aux_amp_dac_v = 0.0;
};

}  // namespace k814util
