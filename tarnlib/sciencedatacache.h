#pragma once

#include <gselib/telemetryfile.h>
#include <tarnlib/laserstatuspacket.h>
#include <tarnlib/scandata.h>
#include <tarnlib/scanstatus.h>
#include <tarnlib/scantype.h>
#include <tarnlib/sebhk.h>

#include <QList>
#include <QPair>
#include <QPointF>
#include <memory>

namespace TarGse {

class MassCal;
class SebSequence;

/**
 * @brief The scans of a TARN telemetry file: one walk in file order groups science packets into
 * scans and attaches the scan-status, housekeeping, laser, GC and SEB sequence packets that
 * describe each.
 *
 * `refresh` is incremental: everything still open at the end of the packets read so far (the
 * scan being collected, pending statuses and sequences, the latest auxiliary packets, the count
 * of non-science packets) carries over, so a file read in pieces gives the same scans as one
 * read of the whole. A scan still being collected at the end of the file is not among the
 * scans. Nothing here reports an error.
 */
class ScienceDataCache {
public:
    /// Packet types the cache looks at.
    enum PacketType {
        GcHkType = 14,
        LaserPulsesType = 15,
        LaserStatusType = 16,
        SebHkType = 22,
        SebSequenceType = 23,
        ScanStatusType = 25,
        SingleSciType = 26,
        SummedSciType = 27,
        AggregatedSciType = 28,
    };
    /// Data byte 3 of a single science packet that closes its scan.
    static constexpr uint8_t CLOSING_BYTE = 134;
    /// Pending statuses older than this before a summed or aggregated packet are stale, s.
    static constexpr double STALE_STATUS_SECS = 1.0;
    /// A late status joins a scan not built from a summed packet up to this long after it, s.
    static constexpr double LATE_STATUS_SECS = 2.0;
    /// A late status joins a summed scan up to this many packets after it.
    static constexpr int LATE_STATUS_PACKETS = 14;
    /// A GC housekeeping packet describes scans that start less than this after it, s.
    static constexpr double GC_ATTACH_SECS = 2.0;

    /**
     * An empty cache over file, which it takes over; nothing is read yet. Without a file it
     * makes its own cursor over the shared telemetry cache.
     */
    explicit ScienceDataCache(GseLib::TelemetryFile* file = nullptr);
    explicit ScienceDataCache(std::shared_ptr<GseLib::TelemetryFile> file);

    void setScanTypes(TARN::ScanTypes types) { scanTypes_ = types; }
    TARN::ScanTypes scanTypes() const { return scanTypes_; }
    void setSummedScanTimestampMode(TARN::SummedScanTimestampMode mode) { timestampMode_ = mode; }
    void setAverageSummedScans(bool average) { averageSummedScans_ = average; }

    /// Reads from the file's current position to its end and adds the scans found.
    void refresh();
    /// Forgets everything and reads the file again from its start.
    void reload();
    /// Empties every list and starts a new scan.
    void clearCache();

    int size() const { return int(scans_.size()); }
    const QList<std::shared_ptr<ScanData>>& scans() const { return scans_; }
    /// Scan i, or null outside the list.
    std::shared_ptr<ScanData> scan(int i) const;
    const QList<double>& scanTimes() const { return scanTimes_; }
    const QList<QPointF>& ticTrace() const { return ticTrace_; }
    const QList<ScanStatus>& pendingScanStatuses() const { return pendingScanStatuses_; }
    const QList<std::shared_ptr<SebSequence>>& pendingSebSequences() const {
        return pendingSebSequences_;
    }
    const ScanData& currentScan() const { return *currentScan_; }

    bool hasScansFromGcSource() const;
    bool hasScansFromLdiSource() const;
    /// (first scan not before t0, first scan from there on not before t1); the scan count
    /// stands for none.
    QPair<int, int> scanIndexRange(double t0, double t1) const;

    QList<QPointF> correctedTicTrace(int start, double a, double b, double c, double d) const;
    QList<QPointF> sicTrace(ScanData::SciRange range, const MassCal& cal, bool corrected, int start,
                            double a, double b, double c, double d) const;
    QList<QPointF> maxIonCountTrace(int start) const;

private:
    void handleScanStatus(const GseLib::TMPacketPtr& packet);
    void handleSingleSci(const GseLib::TMPacketPtr& packet);
    void handleSummedSci(const GseLib::TMPacketPtr& packet);
    void handleSebSequence(const GseLib::TMPacketPtr& packet);
    bool currentScanComplete() const;
    void completeCurrentScan();
    /// Attaches the auxiliary packets remembered so far and stores the scan.
    void addScanData(const std::shared_ptr<ScanData>& scan);
    static GseLib::TMPacketPtr packetAt(int index);

    std::shared_ptr<GseLib::TelemetryFile> file_;
    QList<std::shared_ptr<ScanData>> scans_;
    QList<double> scanTimes_;
    QList<QPointF> ticTrace_;
    QList<ScanStatus> pendingScanStatuses_;
    QList<std::shared_ptr<SebSequence>> pendingSebSequences_;
    std::shared_ptr<ScanData> currentScan_ = std::make_shared<ScanData>();
    int sebHkIndex_ = -1;
    int laserPulsesIndex_ = -1;
    int laserStatusIndex_ = -1;
    int gcHkIndex_ = -1;
    TARN::ScanTypes scanTypes_ = TARN::ScanTypes(7);
    bool averageSummedScans_ = false;
    TARN::SummedScanTimestampMode timestampMode_ = TARN::FirstPacket;
    int nonScienceCount_ = 0;
    // The same SEB housekeeping or laser-status packet describes many scans in a row; it is
    // decoded once and copied.
    SebHK sebHkDecoded_;
    LaserStatusPacket laserStatusDecoded_;
};

}  // namespace TarGse
