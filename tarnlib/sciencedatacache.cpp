#include <tarnlib/sciencedatacache.h>

#include <gselib/piecewisetransform.h>
#include <tarnlib/masscal.h>
#include <tarnlib/scanconversions.h>
#include <tarnlib/sebcmd.h>
#include <tarnlib/sebsequence.h>
#include <tarnlib/tartelemetrycache.h>

#include <algorithm>
#include <cmath>

namespace TarGse {

namespace {

double missionSecs(uint64_t rawTimestamp) {
    return TarMissionSpecifics().mission2secs(double(rawTimestamp));
}

}  // namespace

ScienceDataCache::ScienceDataCache(GseLib::TelemetryFile* file)
    : ScienceDataCache(
          std::shared_ptr<GseLib::TelemetryFile>(file ? file : new GseLib::TelemetryFile)) {}

ScienceDataCache::ScienceDataCache(std::shared_ptr<GseLib::TelemetryFile> file)
    : file_(file ? std::move(file) : std::make_shared<GseLib::TelemetryFile>()) {}

std::shared_ptr<ScanData> ScienceDataCache::scan(int i) const {
    return i >= 0 && i < scans_.size() ? scans_[i] : nullptr;
}

GseLib::TMPacketPtr ScienceDataCache::packetAt(int index) {
    GseLib::TelemetryCache* cache = GseLib::TelemetryFile::sharedCache();
    return cache && index >= 0 ? cache->get(unsigned(index)) : nullptr;
}

void ScienceDataCache::refresh() {
    while (const GseLib::TMPacketPtr packet = file_->getNext()) {
        switch (packet->type()) {
            case GcHkType:
                gcHkIndex_ = packet->index();
                break;
            case LaserPulsesType:
                laserPulsesIndex_ = packet->index();
                break;
            case LaserStatusType:
                laserStatusIndex_ = packet->index();
                break;
            case SebHkType:
                sebHkIndex_ = packet->index();
                break;
            case SebSequenceType:
                handleSebSequence(packet);
                break;
            case ScanStatusType:
                nonScienceCount_ = 0;
                handleScanStatus(packet);
                break;
            case SingleSciType:
                if (scanTypes_.testFlag(TARN::SingleScan)) {
                    nonScienceCount_ = 0;
                    handleSingleSci(packet);
                }
                break;
            case SummedSciType:
                if (scanTypes_.testFlag(TARN::SummedScan)) {
                    nonScienceCount_ = 0;
                    handleSummedSci(packet);
                }
                break;
            case AggregatedSciType:
                if (scanTypes_.testFlag(TARN::AggregatedScan)) {
                    nonScienceCount_ = 0;
                    handleSummedSci(packet);
                }
                break;
            default:
                ++nonScienceCount_;
                if (currentScanComplete()) {
                    completeCurrentScan();
                    nonScienceCount_ = 0;
                }
                break;
        }
    }
}

void ScienceDataCache::reload() {
    clearCache();
    file_->reset();
    sebHkIndex_ = laserPulsesIndex_ = laserStatusIndex_ = gcHkIndex_ = -1;
    sebHkDecoded_ = SebHK();
    laserStatusDecoded_ = LaserStatusPacket();
    nonScienceCount_ = 0;
    refresh();
}

void ScienceDataCache::clearCache() {
    scans_.clear();
    scanTimes_.clear();
    ticTrace_.clear();
    pendingScanStatuses_.clear();
    pendingSebSequences_.clear();
    currentScan_ = std::make_shared<ScanData>();
}

bool ScienceDataCache::currentScanComplete() const {
    // A scan without any segment is never complete: completing it would store an empty scan
    // (and, after a scan of 0 bins, one every 21 packets).
    if (currentScan_->sciDataPackets.empty()) {
        return false;
    }
    const int bins = currentScan_->nBins();
    if (scans_.isEmpty()) {
        // Before the first scan the scan length is unknown: long scans end sooner, and a short
        // one is left to a refusing or closing packet.
        if (bins > 19900) {
            return nonScienceCount_ > 50;
        }
        return nonScienceCount_ > 100 && bins > 1900;
    }
    return nonScienceCount_ > 20 && bins == scans_.last()->nBins();
}

void ScienceDataCache::completeCurrentScan() {
    addScanData(currentScan_);
    currentScan_ = std::make_shared<ScanData>();
    // Scans of a run mostly repeat one length: room for as many segments as the last one had
    // spares the segment vector its regrowth copies.
    currentScan_->sciDataPackets.reserve(scans_.last()->sciDataPackets.size());
}

void ScienceDataCache::handleSingleSci(const GseLib::TMPacketPtr& packet) {
    const SciDataPacket segment(packet);
    if (!currentScan_->addSciDataPkt(segment, packet->index())) {
        // A segment below the last one starts the next scan; it opens that scan, so its closing
        // byte (if any) is not read: the scan it would close is the one just completed.
        completeCurrentScan();
        currentScan_->addSciDataPkt(segment, packet->index());
        return;
    }
    const auto& bytes = *packet->bytes();
    const size_t closing = size_t(packet->dataOffset()) + 3;
    if (closing < bytes.size() && bytes[closing] == CLOSING_BYTE) {
        completeCurrentScan();
    }
}

void ScienceDataCache::handleSummedSci(const GseLib::TMPacketPtr& packet) {
    if (!pendingScanStatuses_.isEmpty() &&
        missionSecs(packet->rawTimestamp()) -
                missionSecs(pendingScanStatuses_.last().rawTimestamp) >
            STALE_STATUS_SECS) {
        pendingScanStatuses_.clear();
    }
    addScanData(std::make_shared<ScanData>(packet, pendingScanStatuses_, averageSummedScans_,
                                           timestampMode_));
    pendingScanStatuses_.clear();
}

void ScienceDataCache::handleScanStatus(const GseLib::TMPacketPtr& packet) {
    const ScanStatus status(packet);
    pendingScanStatuses_.append(status);
    // A summed or aggregated scan keeps at most this many of the pending statuses, the latest,
    // and only the latest one's time decides staleness; older ones can never be used. Without
    // the bound a run of single-packet scans would hold every status of the file.
    if (pendingScanStatuses_.size() > ScanData::NUM_SUMMED_SCANS_MASK) {
        pendingScanStatuses_.removeFirst();
    }
    if (scans_.isEmpty()) {
        return;
    }
    ScanData& last = *scans_.last();
    if (last.scanStatuses.size() == last.numSummedScans) {
        return;
    }
    const double scanSecs =
        last.sciDataPackets.empty() ? 0.0 : missionSecs(last.sciDataPackets.front().rawTimestamp);
    const double d = scanSecs - missionSecs(status.rawTimestamp);
    if (d > 0.0) {
        return;  // the status is older than the scan
    }
    if (last.srcPktType == SummedSciType) {
        const QList<int> indexes = last.packetIndexes();
        if (!indexes.isEmpty() && status.packetIndex - indexes.first() <= LATE_STATUS_PACKETS) {
            last.addScanStatus(status);
        }
    } else if (d >= -LATE_STATUS_SECS) {
        last.addScanStatus(status);
    }
}

void ScienceDataCache::handleSebSequence(const GseLib::TMPacketPtr& packet) {
    const bool starts = SebSequence::isNewSequence(packet);
    // A new sequence after one that asked for a scan status begins the next scan's commands.
    if (starts && !pendingSebSequences_.isEmpty() && pendingSebSequences_.last() &&
        pendingSebSequences_.last()->contains(SebCmd::SEND_SCAN_STATUS)) {
        pendingSebSequences_.clear();
    }
    if (starts) {
        pendingSebSequences_.append(std::make_shared<SebSequence>(packet));
    } else if (!pendingSebSequences_.isEmpty() && pendingSebSequences_.last()) {
        pendingSebSequences_.last()->addPartialSequence(packet);
    }
}

void ScienceDataCache::addScanData(const std::shared_ptr<ScanData>& scan) {
    if (sebHkIndex_ != -1) {
        if (sebHkDecoded_.packetIndex != sebHkIndex_) {
            if (const auto p = packetAt(sebHkIndex_)) {
                sebHkDecoded_ = SebHK(p);
            }
        }
        if (sebHkDecoded_.packetIndex == sebHkIndex_) {
            scan->sebHk = sebHkDecoded_;
        }
    }
    if (laserPulsesIndex_ != -1) {
        if (const auto p = packetAt(laserPulsesIndex_)) {
            scan->laserPulses = LaserPulsesPacket(p);
        }
        laserPulsesIndex_ = -1;
    }
    if (laserStatusIndex_ != -1) {
        if (laserStatusDecoded_.packetIndex != laserStatusIndex_) {
            if (const auto p = packetAt(laserStatusIndex_)) {
                laserStatusDecoded_ = LaserStatusPacket(p);
            }
        }
        if (laserStatusDecoded_.packetIndex == laserStatusIndex_) {
            scan->laserStatus = laserStatusDecoded_;
        }
    }
    const double t = scan->relativeTimestamp();
    if (gcHkIndex_ != -1) {
        if (const auto p = packetAt(gcHkIndex_); p && t - p->relativeTime() < GC_ATTACH_SECS) {
            scan->gcHk = GcHkPacket(p);
        }
    }
    if (!pendingSebSequences_.isEmpty()) {
        scan->sebSequences = pendingSebSequences_;
    }
    scans_.append(scan);
    ticTrace_.append(QPointF(t, scan->totalCounts()));
    scanTimes_.append(t);
}

bool ScienceDataCache::hasScansFromGcSource() const {
    for (const auto& s : scans_) {
        if (s->ionSource() == ScanData::GcSource) {
            return true;
        }
    }
    return false;
}

bool ScienceDataCache::hasScansFromLdiSource() const {
    for (const auto& s : scans_) {
        if (s->ionSource() == ScanData::LdiSource) {
            return true;
        }
    }
    return false;
}

QPair<int, int> ScienceDataCache::scanIndexRange(double t0, double t1) const {
    const int n = int(scanTimes_.size());
    int first = 0;
    while (first < n && scanTimes_[first] < t0) {
        ++first;
    }
    int last = first;
    while (last < n && scanTimes_[last] < t1) {
        ++last;
    }
    return {first, last};
}

QList<QPointF> ScienceDataCache::correctedTicTrace(int start, double a, double b, double c,
                                                   double d) const {
    QList<QPointF> out;
    for (int i = std::max(start, 0); i < scans_.size(); ++i) {
        out.append(QPointF(scanTimes_[i], scans_[i]->correctedTotalIonCount(a, b, c, d)));
    }
    return out;
}

QList<QPointF> ScienceDataCache::sicTrace(ScanData::SciRange range, const MassCal& cal,
                                          bool corrected, int start, double a, double b, double c,
                                          double d) const {
    QList<QPointF> out;
    for (int i = std::max(start, 0); i < scans_.size(); ++i) {
        const ScanData& s = *scans_[i];
        double low = range.low;
        double high = range.high;
        if (range.type != ScanData::Bin) {
            const auto toBin = s.getTransform(range.type, ScanData::Bin, cal);
            low = toBin->apply(low);
            high = toBin->apply(high);
        }
        double sum = 0.0;
        double max = 0.0;
        s.selectedIonCountSumAndMax(sum, max, ScanConversions::roundUpToBin(low),
                                    ScanConversions::roundUpToBin(high));
        if (corrected) {
            sum *= s.correctedTotalIonCountFactor(a, b, c, d);
        }
        out.append(QPointF(scanTimes_[i], sum));
    }
    return out;
}

QList<QPointF> ScienceDataCache::maxIonCountTrace(int start) const {
    QList<QPointF> out;
    for (int i = std::max(start, 0); i < scans_.size(); ++i) {
        out.append(QPointF(scanTimes_[i], scans_[i]->maxIonCount()));
    }
    return out;
}

}  // namespace TarGse
