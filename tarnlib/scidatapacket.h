#pragma once

#include <gselib/tmpacket.h>

#include <array>
#include <cstdint>
#include <memory>

namespace TarGse {

/**
 * @brief One segment of a mass spectrum: at most 100 consecutive bins with their counts and the
 * RF settings at the segment's start.
 *
 * The counts keep their sum and maximum beside them, so whole-segment totals cost no pass over
 * the bins. Copied by value.
 */
class SciDataPacket {
public:
    static constexpr int MAX_BINS = 100;
    /// Database items that convert the segment's raw RF values.
    static constexpr int RF_AMP_ITEM = 351;
    static constexpr int RF_AMP_DAC_ITEM = 352;
    static constexpr int AUX_AMP_DAC_ITEM = 353;

    SciDataPacket() { counts.fill(0.0); }
    /// Decodes a single science packet (type 26); a short packet reads as zeros past its end.
    explicit SciDataPacket(std::shared_ptr<GseLib::TMPacket> packet);

    /// Converts the raw RF values through their database items.
    void convertRfValues();
    /// Recomputes countSum and maxCount from the first numBins counts.
    void updateTotals();

    uint64_t rawTimestamp = 0;
    double relativeTime = 0.0;
    double unixTime = 0.0;
    uint16_t startBin = 0;
    uint16_t numBins = 0;
    uint16_t endBin = 0;
    uint16_t rfAmpRaw = 0;
    double rfAmp = 0.0;
    uint16_t rfAmpDacRaw = 0;
    double rfAmpDac = 0.0;
    uint16_t auxAmpDacRaw = 0;
    double auxAmpDac = 0.0;
    uint8_t flagByte = 0;
    double countSum = 0.0;
    std::array<double, MAX_BINS> counts;  ///< entries from numBins on are 0
    double maxCount = 0.0;
};

}  // namespace TarGse
