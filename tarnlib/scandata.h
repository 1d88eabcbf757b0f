#pragma once

#include <gselib/compositetransform.h>
#include <gselib/tmpacket.h>
#include <tarnlib/gchkpacket.h>
#include <tarnlib/laserpulsespacket.h>
#include <tarnlib/laserstatuspacket.h>
#include <tarnlib/scanstatus.h>
#include <tarnlib/scantype.h>
#include <tarnlib/scidatapacket.h>
#include <tarnlib/sebhk.h>

#include <QList>
#include <QPointF>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class PiecewiseTransform;

namespace TarGse {

class MassCal;
class SebSequence;

/**
 * @brief One TARN mass-spectrum scan: its segments of bins and counts, the scan statuses and
 * auxiliary packets that describe it, and every quantity derived from them (ion-count totals,
 * timing, RF values, the bin-to-RF-to-mass transform chain, scan mode and ion source).
 *
 * The science data cache builds scans and attaches their auxiliary packets; afterwards a scan
 * only answers queries. No query reports an error: what cannot be formed is 0, an empty list
 * or the documented default.
 */
class ScanData {
public:
    /// Axes of the transform chain.
    enum ValueType { Bin = 0, RfMon = 1, RfDac = 2, Mass = 3 };

    /// A range of one axis; bounds of other axes than Bin are converted to bins per scan.
    struct SciRange {
        ValueType type = Bin;
        double low = 0.0;
        double high = 0.0;
    };

    static constexpr uint8_t NUM_SUMMED_SCANS_MASK = 0x3F;
    /// Scan modes of determineScanMode().
    enum ScanMode { UnknownMode = 0, EiMode = 1, DarkMode = 2, LdiMode = 3 };
    /// Ion sources of ionSource().
    enum IonSource { NoSource = 0, GcSource = 1, LdiSource = 2 };
    /// An electron multiplier is on below this setting, in volts.
    static constexpr double EM_ON_VOLTS = -1900.0;

    /// An empty scan of packet type 26: scan type 1, one summed scan, nothing attached.
    ScanData() = default;
    /**
     * Builds a whole scan from one summed (27) or aggregated (28) packet, keeping the last
     * statuses up to the number of summed scans.
     */
    ScanData(std::shared_ptr<GseLib::TMPacket> packet, const QList<ScanStatus>& statuses,
             bool averageSummedScans, TARN::SummedScanTimestampMode mode);

    /// Appends a decoded single science packet; false, changing nothing, when its first bin
    /// lies below the last segment's.
    bool addSciDataPkt(const SciDataPacket& segment, int packetIndex);
    /// Appends a scan status that arrived after the scan was built.
    void addScanStatus(const ScanStatus& status) { scanStatuses.append(status); }

    uint16_t nBins() const;
    /// Sum of every segment's countSum (segments are not changed once added).
    double totalCounts() const;
    double totalScanTimeSecs() const;
    double countsPerSecond() const;
    double rfAmpStart() const;
    double rfAmpDACStart() const;
    double auxAmpDACStart() const;
    double rfAmpEnd() const;
    double rfAmpDACEnd() const;
    double auxAmpDACEnd() const;
    double relativeTimestamp() const;
    /// The first segment's Unix time; 0 without segments.
    double unixTimestamp() const;

    /// Sum over the bins [lowBin, highBin); (0, 0) is the whole scan.
    double ionCount(int lowBin, int highBin) const;
    void selectedIonCountSumAndMax(double& sum, double& max, int lowBin, int highBin) const;
    double maxIonCount() const;
    /// The earliest bin holding the highest count; 0 without segments.
    int highestCountBin() const;

    QList<uint32_t> ticList() const;
    QList<uint32_t> cTicList() const;
    double correctedTotalIonCount(double a, double b, double c, double d) const;
    double correctedTotalIonCountFactor(double a, double b, double c, double d) const;

    QList<QPointF> binVsCounts() const;
    QList<QPointF> binVsCorrectedCounts(double a, double b, double c, double d) const;
    QList<QPointF> culledBinVsCounts() const;

    /// The chain from one axis to another through the calibration's entry for the last
    /// status's phase cycle.
    std::shared_ptr<CompositeTransform> getTransform(ValueType from, ValueType to,
                                                     const MassCal& cal) const;
    /// The bin-to-RF transform (RfMon or RfDac), built once per value type and segment count.
    std::shared_ptr<PiecewiseTransform> createRfTransform(ValueType type) const;
    /// The last status's phase cycle readback, or MassCal::DEFAULT_PHASE_CYCLE without status.
    int phaseCycle() const;

    QList<int> packetIndexes() const { return packetIndexes_; }
    QList<int> scanStatusPacketIndexes() const;
    QList<int> sebSequencePacketIndexes() const;

    int determineScanMode() const;
    bool isDarkCountScan() const;
    int ionSource() const;
    /// On-times of electron multipliers A and B, milliseconds.
    void calculateEmOnTimes(double& emA, double& emB) const;

    std::vector<SciDataPacket> sciDataPackets;
    bool averageSummedScans = false;
    TARN::SummedScanTimestampMode summedScanTimestampMode = TARN::FirstPacket;
    uint8_t numSummedScans = 1;
    QList<ScanStatus> scanStatuses;
    QList<uint32_t> scanTics;
    QList<double> cFactors;
    QList<uint16_t> mbcSics;
    SebHK sebHk;
    LaserPulsesPacket laserPulses;
    LaserStatusPacket laserStatus;
    GcHkPacket gcHk;
    int srcPktType = 26;
    int scanType = TARN::SingleScan;
    int sciDataPktVersion = 0;
    QList<std::shared_ptr<SebSequence>> sebSequences;

private:
    // ticList() without building it: its length and entry i.
    qsizetype ticCount() const;
    uint32_t tic(qsizetype i) const;
    // Step 4 of the scan mode: the RF DAC end value decides between dark and LDI.
    int darkOrLdi() const;
    double rfEnd(double statusValue, double SciDataPacket::*field) const;

    // Whole-scan totals, kept for the segment count they were summed over: a scan only grows
    // by whole segments, so TIC traces cost one lookup per scan, not a pass over its segments.
    void updateTotals() const;

    QList<int> packetIndexes_;
    mutable double totalCounts_ = 0.0;
    mutable double maxCount_ = 0.0;
    mutable size_t totalsSegments_ = 0;
    mutable std::array<std::shared_ptr<PiecewiseTransform>, 3> rfTransforms_;
    mutable std::array<size_t, 3> rfTransformSegments_{};
};

}  // namespace TarGse
