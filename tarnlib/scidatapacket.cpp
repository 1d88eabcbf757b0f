#include <tarnlib/scidatapacket.h>

#include <tarnlib/datafieldreader.h>
#include <tarnlib/scanconversions.h>

#include <algorithm>

namespace TarGse {

SciDataPacket::SciDataPacket(std::shared_ptr<GseLib::TMPacket> packet) {
    if (!packet) {
        return;
    }
    const DataFieldReader d(*packet);
    rawTimestamp = packet->rawTimestamp();
    relativeTime = packet->relativeTime();
    unixTime = packet->unixTime();
    // The length counts 9 bytes besides the counts; a length below 9 wraps in 16 bits and so
    // is capped like any other oversized one.
    numBins = std::min<uint16_t>(uint16_t(d.be16(4) - 9), MAX_BINS);
    startBin = uint16_t(d.be16(6) - 1);
    endBin = uint16_t(startBin + numBins);
    rfAmpRaw = d.be16(8);
    rfAmpDacRaw = d.be16(10);
    auxAmpDacRaw = d.be16(12);
    flagByte = d.byte(14);
    // Whole counts: the totals are summed exactly in integers on the way.
    unsigned sum = 0;
    uint8_t max = 0;
    if (d.has(15, numBins)) {
        // Separate loops, so that each vectorises.
        const uint8_t* c = d.at(15);
        for (int j = 0; j < numBins; ++j) {
            counts[size_t(j)] = c[j];
        }
        for (int j = 0; j < numBins; ++j) {
            sum += c[j];
            max = std::max(max, c[j]);
        }
    } else {
        for (int j = 0; j < numBins; ++j) {
            const uint8_t v = d.byte(15 + size_t(j));
            counts[size_t(j)] = v;
            sum += v;
            max = std::max(max, v);
        }
    }
    std::fill(counts.begin() + numBins, counts.end(), 0.0);
    countSum = sum;
    maxCount = max;
    convertRfValues();
}

void SciDataPacket::convertRfValues() {
    rfAmp = ScanConversions::throughItem(RF_AMP_ITEM, rfAmpRaw);
    rfAmpDac = ScanConversions::throughItem(RF_AMP_DAC_ITEM, rfAmpDacRaw);
    auxAmpDac = ScanConversions::throughItem(AUX_AMP_DAC_ITEM, auxAmpDacRaw);
}

void SciDataPacket::updateTotals() {
    countSum = 0.0;
    maxCount = 0.0;
    for (int j = 0; j < numBins && j < MAX_BINS; ++j) {
        countSum += counts[j];
        maxCount = std::max(maxCount, counts[j]);
    }
}

}  // namespace TarGse
