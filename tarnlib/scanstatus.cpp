#include <tarnlib/scanstatus.h>

#include <tarnlib/datafieldreader.h>
#include <tarnlib/scanconversions.h>

#include <cmath>

namespace TarGse {

namespace {

double sci(int id, const GseLib::TMPacket& p) {
    return ScanConversions::itemValue(id, p, Gse::ValueMode::Sci);
}

double raw(int id, const GseLib::TMPacket& p) {
    return ScanConversions::itemValue(id, p, Gse::ValueMode::Raw);
}

// A raw register value as its low 32 bits; a double cast straight to unsigned is undefined for
// negative or huge values, which a signed or damaged item can give.
uint32_t rawBits(int id, const GseLib::TMPacket& p) {
    const double v = raw(id, p);
    if (!std::isfinite(v) || v >= 9.2e18 || v <= -9.2e18) {
        return 0;
    }
    return uint32_t(int64_t(v));
}

}  // namespace

ScanStatus::ScanStatus(std::shared_ptr<GseLib::TMPacket> packet) {
    if (!packet) {
        return;
    }
    const GseLib::TMPacket& p = *packet;
    const DataFieldReader d(p);
    packetIndex = p.index();
    rawTimestamp = p.rawTimestamp();
    relativeTime = p.relativeTime();

    rfFreqHz = sci(356, p);
    lastRfAmpMon = ScanConversions::throughItem(202, raw(202, p));
    counterSelect = rawBits(203, p);
    binCountReg = rawBits(204, p);
    rfStepReg = sci(205, p);
    auxStepReg = sci(206, p);

    for (int i = 0; i < NUM_DAC_BYTES; ++i) {
        dacReadbacksRaw[i] = d.packetByte(28 + size_t(i));
        dacReadbacks[i] = ScanConversions::throughDacRow(i, dacReadbacksRaw[i]);
        dacSettingsRaw[i] = d.packetByte(50 + size_t(i));
        dacSettings[i] = ScanConversions::throughDacRow(i, dacSettingsRaw[i]);
    }
    for (int i = 0; i < NUM_DAC12; ++i) {
        dac12FirstRaw[i] = d.be16(28 + 2 * size_t(i)) & 0x0FFF;
        dac12First[i] = ScanConversions::throughDacRow(DAC12_FIRST_ROW + i, dac12FirstRaw[i]);
        dac12SecondRaw[i] = d.be16(50 + 2 * size_t(i));
        dac12Second[i] = ScanConversions::throughDacRow(DAC12_FIRST_ROW + i, dac12SecondRaw[i]);
    }
    rfAmpDacFirstRaw = d.be16(38);
    rfAmpDacFirst = ScanConversions::throughDacRow(RF_AMP_DAC_ROW, rfAmpDacFirstRaw);
    auxAmpDacFirstRaw = d.be16(40);
    auxAmpDacFirst = ScanConversions::throughDacRow(AUX_AMP_DAC_ROW, auxAmpDacFirstRaw);
    rfAmpDacEndRaw = d.be16(60);
    rfAmpDacEnd = ScanConversions::throughDacRow(RF_AMP_DAC_ROW, rfAmpDacEndRaw);
    auxAmpDacEndRaw = d.be16(62);
    auxAmpDacEnd = ScanConversions::throughDacRow(AUX_AMP_DAC_ROW, auxAmpDacEndRaw);

    for (int k = 0; k < NUM_TIMING_ITEMS; ++k) {
        timing[k] = sci(FIRST_TIMING_ITEM + k, p);
    }
    for (int k = 0; k < NUM_FLAG_ITEMS; ++k) {
        flags[k] = uint8_t(rawBits(FIRST_FLAG_ITEM + k, p));
    }
    item249 = sci(249, p);
    item250 = sci(250, p);
    phaseCycleReadback = uint16_t(rawBits(251, p));
    specialScanId = rawBits(252, p);
    rawScanValue = rawBits(253, p);
    auxStepSet = sci(254, p);
    rfStepSet = sci(255, p);
    binCountSet = uint16_t(rawBits(256, p));
}

}  // namespace TarGse
