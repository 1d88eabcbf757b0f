#pragma once

#include <gselib/tmpacket.h>

#include <array>
#include <cstdint>
#include <memory>

namespace TarGse {

/**
 * @brief One scan-status packet (type 25): the scan electronics' settings and readbacks for one
 * scan, partly through database items and partly from fixed bytes through DAC rows.
 *
 * Copied by value into the scans it describes. A default status (no packet) is all zeros with
 * packet index -1.
 */
class ScanStatus {
public:
    static constexpr int NUM_DAC_BYTES = 8;
    static constexpr int NUM_DAC12 = 5;
    static constexpr int NUM_TIMING_ITEMS = 9;  ///< items 237 to 245
    static constexpr int FIRST_TIMING_ITEM = 237;
    static constexpr int NUM_FLAG_ITEMS = 3;  ///< items 246 to 248
    static constexpr int FIRST_FLAG_ITEM = 246;
    /// DAC rows of the fixed-byte fields.
    static constexpr int DAC12_FIRST_ROW = 8;
    static constexpr int RF_AMP_DAC_ROW = 13;
    static constexpr int AUX_AMP_DAC_ROW = 15;
    /// Indexes into the eight DAC settings and readbacks.
    static constexpr int EM1 = 0;
    static constexpr int EM2 = 1;
    static constexpr int SRC_A_FOC_A = 6;
    static constexpr int SRC_B_FOC_A = 7;

    ScanStatus() = default;
    /// Reads a scan-status packet; fields the packet or the database lacks stay 0.
    explicit ScanStatus(std::shared_ptr<GseLib::TMPacket> packet);

    double binTimeUs() const { return timing[245 - FIRST_TIMING_ITEM]; }
    double ionTimeMs() const { return timing[239 - FIRST_TIMING_ITEM]; }
    double chargeControlDuration() const { return timing[240 - FIRST_TIMING_ITEM]; }
    /// Science value of item (237 + k), k from 0 to 8; 0 outside.
    double timingItem(int k) const { return k >= 0 && k < NUM_TIMING_ITEMS ? timing[k] : 0.0; }
    double srcAFocAReg() const { return dacReadbacks[SRC_A_FOC_A]; }
    double em1() const { return dacSettings[EM1]; }
    double em2() const { return dacSettings[EM2]; }

    int packetIndex = -1;
    uint64_t rawTimestamp = 0;
    double relativeTime = 0.0;

    double rfFreqHz = 0.0;       ///< item 356
    double lastRfAmpMon = 0.0;   ///< item 202
    uint32_t counterSelect = 0;  ///< item 203, raw
    uint32_t binCountReg = 0;    ///< item 204, raw
    double rfStepReg = 0.0;      ///< item 205
    double auxStepReg = 0.0;     ///< item 206

    /// DAC register readbacks: packet bytes 28 to 35 through DAC rows 0 to 7.
    std::array<uint8_t, NUM_DAC_BYTES> dacReadbacksRaw{};
    std::array<double, NUM_DAC_BYTES> dacReadbacks{};
    /// 12-bit DAC values of the first group: data bytes 28 + 2i (low 4 bits), 29 + 2i.
    std::array<uint16_t, NUM_DAC12> dac12FirstRaw{};
    std::array<double, NUM_DAC12> dac12First{};
    uint16_t rfAmpDacFirstRaw = 0;  ///< data bytes 38-39
    double rfAmpDacFirst = 0.0;
    uint16_t auxAmpDacFirstRaw = 0;  ///< data bytes 40-41
    double auxAmpDacFirst = 0.0;

    /// DAC settings: packet bytes 50 to 57 through DAC rows 0 to 7.
    std::array<uint8_t, NUM_DAC_BYTES> dacSettingsRaw{};
    std::array<double, NUM_DAC_BYTES> dacSettings{};
    /// 12-bit DAC values of the second group: data bytes 50 + 2i, 51 + 2i.
    std::array<uint16_t, NUM_DAC12> dac12SecondRaw{};
    std::array<double, NUM_DAC12> dac12Second{};
    uint16_t rfAmpDacEndRaw = 0;  ///< data bytes 60-61
    double rfAmpDacEnd = 0.0;
    uint16_t auxAmpDacEndRaw = 0;  ///< data bytes 62-63
    double auxAmpDacEnd = 0.0;

    /// Items 237 to 245, science values (239 ionisation time ms, 240 charge control, 245 bin
    /// time us).
    std::array<double, NUM_TIMING_ITEMS> timing{};
    /// Items 246 to 248, raw.
    std::array<uint8_t, NUM_FLAG_ITEMS> flags{};
    double item249 = 0.0;
    double item250 = 0.0;
    uint16_t phaseCycleReadback = 0;  ///< item 251, raw
    uint32_t specialScanId = 0;       ///< item 252, raw
    uint32_t rawScanValue = 0;        ///< item 253, raw
    double auxStepSet = 0.0;          ///< item 254
    double rfStepSet = 0.0;           ///< item 255
    uint16_t binCountSet = 0;         ///< item 256, raw
};

}  // namespace TarGse
