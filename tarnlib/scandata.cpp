#include <tarnlib/scandata.h>

#include <gselib/piecewisetransform.h>
#include <tarnlib/datafieldreader.h>
#include <tarnlib/masscal.h>
#include <tarnlib/pointwitherror.h>
#include <tarnlib/sebcmd.h>
#include <tarnlib/sebsequence.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace TarGse {

namespace {

// A non-negative count total as an unsigned 32-bit integer: truncated, then wrapped, so a
// total beyond 32 bits never takes the undefined double-to-unsigned path.
uint32_t truncated(double v) {
    if (!(v >= 0.0) || v >= 1.8e19) {
        return 0;
    }
    return uint32_t(uint64_t(v));
}

float beFloat(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

}  // namespace

ScanData::ScanData(std::shared_ptr<GseLib::TMPacket> packet, const QList<ScanStatus>& statuses,
                   bool average, TARN::SummedScanTimestampMode mode)
    : averageSummedScans(average), summedScanTimestampMode(mode) {
    if (!packet) {
        return;
    }
    const DataFieldReader d(*packet);
    const int type = packet->type();
    const bool summed = type == 27;
    srcPktType = type;
    scanType = summed ? TARN::SummedScan : TARN::AggregatedScan;
    sciDataPktVersion = summed ? d.byte(1) >> 6 : 0;
    numSummedScans = d.byte(1) & NUM_SUMMED_SCANS_MASK;
    packetIndexes_.append(packet->index());

    scanStatuses = statuses;
    while (scanStatuses.size() > numSummedScans) {
        scanStatuses.removeFirst();
    }

    // Segment descriptors beyond the data length cannot be real; the cap also bounds the memory
    // a damaged count field can ask for.
    const int dataLength = packet->dataLength();
    const unsigned n = std::min<unsigned>(d.be16(2), dataLength >= 4 ? (dataLength - 4) / 8 : 0);
    const unsigned s = numSummedScans;
    size_t pos = 4 + 8 * size_t(n);
    unsigned block = 0;
    if (sciDataPktVersion == 1) {
        block = 4 * s;
        for (unsigned i = 0; i < s; ++i, pos += 4) {
            scanTics.append(d.be32(pos));
        }
    } else if (sciDataPktVersion >= 2) {
        block = 10 * s;
        for (unsigned i = 0; i < s; ++i, pos += 10) {
            scanTics.append(d.be32(pos));
            mbcSics.append(d.be16(pos + 4));
            cFactors.append(double(beFloat(d.be32(pos + 6))));
        }
        if (s % 2) {
            pos += 2;  // the records are padded to a multiple of 4 bytes
        }
    }
    const size_t countsStart = pos;

    // Computed in 16 bits like the instrument does: a block longer than the packet wraps to a
    // large remainder, which the cap below then bounds.
    const uint16_t r = uint16_t(dataLength - 4 - 8 * int(n) - int(block));
    const unsigned total = std::min<unsigned>(summed ? r / 2u : r, 100u * n);
    const unsigned lastBins = total % 100 ? total % 100 : 100;
    const double divisor = summed && averageSummedScans && numSummedScans ? numSummedScans : 1.0;

    sciDataPackets.resize(n);
    for (unsigned i = 0; i < n; ++i) {
        SciDataPacket& seg = sciDataPackets[i];
        const size_t desc = 4 + 8 * size_t(i);
        seg.rawTimestamp = packet->rawTimestamp();
        seg.relativeTime = packet->relativeTime();
        seg.unixTime = packet->unixTime();
        seg.startBin = uint16_t(d.be16(desc) - 1);
        seg.numBins = uint16_t(i + 1 == n ? lastBins : 100);
        seg.endBin = uint16_t(seg.startBin + seg.numBins);
        seg.rfAmpRaw = d.be16(desc + 2);
        seg.rfAmpDacRaw = d.be16(desc + 4);
        seg.auxAmpDacRaw = d.be16(desc + 6);
        seg.convertRfValues();
        // Each segment's counts have a fixed slot of 100 bins, however many the one before
        // used.
        if (summed) {
            const size_t first = countsStart + 200 * size_t(i);
            for (int j = 0; j < seg.numBins; ++j) {
                seg.counts[j] = d.be16(first + 2 * size_t(j)) / divisor;
            }
        } else {
            const size_t first = countsStart + 100 * size_t(i);
            for (int j = 0; j < seg.numBins; ++j) {
                seg.counts[size_t(j)] = d.byte(first + size_t(j));
            }
        }
        seg.updateTotals();
    }
}

bool ScanData::addSciDataPkt(const SciDataPacket& segment, int packetIndex) {
    if (!sciDataPackets.empty() && segment.startBin < sciDataPackets.back().startBin) {
        return false;
    }
    srcPktType = 26;
    sciDataPackets.push_back(segment);
    packetIndexes_.append(packetIndex);
    if (totalsSegments_ + 1 == sciDataPackets.size()) {
        totalCounts_ += segment.countSum;
        maxCount_ = std::max(maxCount_, segment.maxCount);
        totalsSegments_ = sciDataPackets.size();
    }
    return true;
}

uint16_t ScanData::nBins() const {
    uint16_t n = 0;
    for (const SciDataPacket& s : sciDataPackets) {
        n = uint16_t(n + s.numBins);
    }
    return n;
}

void ScanData::updateTotals() const {
    if (totalsSegments_ == sciDataPackets.size()) {
        return;
    }
    totalCounts_ = 0.0;
    maxCount_ = 0.0;
    for (const SciDataPacket& s : sciDataPackets) {
        totalCounts_ += s.countSum;
        maxCount_ = std::max(maxCount_, s.maxCount);
    }
    totalsSegments_ = sciDataPackets.size();
}

double ScanData::totalCounts() const {
    updateTotals();
    return totalCounts_;
}

double ScanData::totalScanTimeSecs() const {
    if (scanStatuses.isEmpty()) {
        return 0.0;
    }
    return scanStatuses.last().binTimeUs() * 1e-6 * nBins();
}

double ScanData::countsPerSecond() const {
    const double t = totalScanTimeSecs();
    if (t == 0.0) {
        return 0.0;
    }
    if (averageSummedScans) {
        return totalCounts() / t;
    }
    return numSummedScans ? totalCounts() / numSummedScans / t : 0.0;
}

double ScanData::rfAmpStart() const {
    return sciDataPackets.empty() ? 0.0 : sciDataPackets.front().rfAmp;
}

double ScanData::rfAmpDACStart() const {
    return sciDataPackets.empty() ? 0.0 : sciDataPackets.front().rfAmpDac;
}

double ScanData::auxAmpDACStart() const {
    return sciDataPackets.empty() ? 0.0 : sciDataPackets.front().auxAmpDac;
}

double ScanData::rfEnd(double statusValue, double SciDataPacket::*field) const {
    if (!scanStatuses.isEmpty()) {
        return statusValue;
    }
    if (sciDataPackets.empty()) {
        return 0.0;
    }
    const SciDataPacket& l = sciDataPackets.back();
    if (sciDataPackets.size() == 1) {
        return l.*field;
    }
    // Extrapolated over the last segment with the slope of the one before.
    const SciDataPacket& p = sciDataPackets[sciDataPackets.size() - 2];
    const double slope = p.numBins ? (l.*field - p.*field) / p.numBins : 0.0;
    return l.*field + slope * (l.numBins - 1);
}

double ScanData::rfAmpEnd() const {
    return rfEnd(scanStatuses.isEmpty() ? 0.0 : scanStatuses.last().lastRfAmpMon,
                 &SciDataPacket::rfAmp);
}

double ScanData::rfAmpDACEnd() const {
    return rfEnd(scanStatuses.isEmpty() ? 0.0 : scanStatuses.last().rfAmpDacEnd,
                 &SciDataPacket::rfAmpDac);
}

double ScanData::auxAmpDACEnd() const {
    return rfEnd(scanStatuses.isEmpty() ? 0.0 : scanStatuses.last().auxAmpDacEnd,
                 &SciDataPacket::auxAmpDac);
}

double ScanData::relativeTimestamp() const {
    if (scanType == TARN::SummedScan && summedScanTimestampMode != TARN::FirstPacket &&
        !scanStatuses.isEmpty()) {
        if (summedScanTimestampMode == TARN::MeanOfScans) {
            double sum = 0.0;
            for (const ScanStatus& s : scanStatuses) {
                sum += s.relativeTime;
            }
            return sum / double(scanStatuses.size());
        }
        if (scanStatuses.size() == 1) {
            return scanStatuses.first().relativeTime;
        }
        return (scanStatuses.first().relativeTime + scanStatuses.last().relativeTime) / 2.0;
    }
    return sciDataPackets.empty() ? 0.0 : sciDataPackets.front().relativeTime;
}

double ScanData::unixTimestamp() const {
    return sciDataPackets.empty() ? 0.0 : sciDataPackets.front().unixTime;
}

double ScanData::ionCount(int lowBin, int highBin) const {
    double sum = 0.0;
    double max = 0.0;
    selectedIonCountSumAndMax(sum, max, lowBin, highBin);
    return sum;
}

void ScanData::selectedIonCountSumAndMax(double& sum, double& max, int lowBin, int highBin) const {
    sum = 0.0;
    max = 0.0;
    lowBin = std::max(lowBin, 0);
    if (highBin < 0 || sciDataPackets.empty()) {
        return;
    }
    if (lowBin == 0 && highBin == 0) {
        sum = totalCounts();
        max = maxIonCount();
        return;
    }
    if (highBin == 0) {
        highBin = sciDataPackets.back().endBin;
    }
    for (const SciDataPacket& s : sciDataPackets) {
        if (s.startBin >= highBin || s.endBin <= lowBin) {
            continue;
        }
        // Whole segments use their stored totals: wide ranges cost no pass over the bins.
        if (s.startBin >= lowBin && s.endBin <= highBin) {
            sum += s.countSum;
            if (s.maxCount > max) {
                max = s.maxCount;
            }
            continue;
        }
        const int from = std::max(lowBin - int(s.startBin), 0);
        const int to = std::min(std::min(highBin, int(s.endBin)) - int(s.startBin),
                                int(SciDataPacket::MAX_BINS));
        for (int j = from; j < to; ++j) {
            sum += s.counts[j];
            if (s.counts[j] > max) {
                max = s.counts[j];
            }
        }
    }
}

double ScanData::maxIonCount() const {
    updateTotals();
    return maxCount_;
}

int ScanData::highestCountBin() const {
    bool first = true;
    double best = 0.0;
    int bin = 0;
    for (const SciDataPacket& s : sciDataPackets) {
        for (int j = 0; j < s.numBins && j < SciDataPacket::MAX_BINS; ++j) {
            if (first || s.counts[j] > std::trunc(best)) {
                best = s.counts[j];
                bin = s.startBin + j;
                first = false;
            }
        }
    }
    return bin;
}

qsizetype ScanData::ticCount() const {
    if (scanType == TARN::SummedScan) {
        if (!scanTics.isEmpty()) {
            return scanTics.size();
        }
        if (numSummedScans != 1) {
            return 0;
        }
    }
    return 1;
}

uint32_t ScanData::tic(qsizetype i) const {
    return scanType == TARN::SummedScan && !scanTics.isEmpty() ? scanTics[i]
                                                               : truncated(totalCounts());
}

QList<uint32_t> ScanData::ticList() const {
    QList<uint32_t> out;
    const qsizetype n = ticCount();
    out.reserve(n);
    for (qsizetype i = 0; i < n; ++i) {
        out.append(tic(i));
    }
    return out;
}

QList<uint32_t> ScanData::cTicList() const {
    const QList<uint32_t> tics = ticList();
    if (tics.isEmpty() || tics.size() != cFactors.size()) {
        return {};
    }
    QList<uint32_t> out;
    out.reserve(tics.size());
    for (qsizetype i = 0; i < tics.size(); ++i) {
        out.append(truncated(tics[i] * cFactors[i]));
    }
    return out;
}

double ScanData::correctedTotalIonCount(double a, double b, double c, double d) const {
    if (scanStatuses.isEmpty()) {
        return 0.0;
    }
    const qsizetype tics = ticCount();
    double value = 0.0;
    if (sciDataPktVersion == 2) {
        if (cFactors.size() != tics) {
            return 0.0;
        }
        for (qsizetype i = 0; i < tics; ++i) {
            value += cFactors[i] * tic(i);
        }
    } else {
        if (tics == 0 || tics != scanStatuses.size()) {
            return 0.0;
        }
        double sum = 0.0;
        for (qsizetype i = 0; i < tics; ++i) {
            const ScanStatus& s = scanStatuses[i];
            const double e = std::exp((s.srcAFocAReg() - c) * d);
            if (s.em2() == 0.0 || s.ionTimeMs() == 0.0 || e == 0.0) {
                return 0.0;
            }
            sum += tic(i) / (s.ionTimeMs() * s.em2() * e);
        }
        value = a * b * sum;
    }
    if (averageSummedScans) {
        value = numSummedScans ? value / numSummedScans : 0.0;
    }
    return value;
}

double ScanData::correctedTotalIonCountFactor(double a, double b, double c, double d) const {
    const qsizetype tics = ticCount();
    const double t = totalCounts();
    if (scanStatuses.isEmpty() || tics == 0 || t == 0.0) {
        return 0.0;
    }
    double value = 0.0;
    if (sciDataPktVersion == 2) {
        if (cFactors.size() != tics) {
            return 0.0;
        }
        for (qsizetype i = 0; i < tics; ++i) {
            value += tic(i) / t * cFactors[i];
        }
    } else {
        if (scanStatuses.size() != tics || numSummedScans != tics) {
            return 0.0;
        }
        for (qsizetype i = 0; i < tics; ++i) {
            const ScanStatus& s = scanStatuses[i];
            const double e = std::exp((s.srcAFocAReg() - c) * d);
            if (s.em2() == 0.0 || s.ionTimeMs() == 0.0 || e == 0.0) {
                return 0.0;
            }
            value += (a * b) / (s.ionTimeMs() * s.em2() * e) * (tic(i) / t);
        }
    }
    if (averageSummedScans) {
        value = numSummedScans ? value / numSummedScans : 0.0;
    }
    return value;
}

QList<QPointF> ScanData::binVsCounts() const {
    QList<QPointF> out;
    out.reserve(nBins());
    for (const SciDataPacket& s : sciDataPackets) {
        for (int j = 0; j < s.numBins && j < SciDataPacket::MAX_BINS; ++j) {
            out.append(QPointF(s.startBin + j, s.counts[j]));
        }
    }
    return out;
}

QList<QPointF> ScanData::binVsCorrectedCounts(double a, double b, double c, double d) const {
    QList<QPointF> out = binVsCounts();
    const double f = correctedTotalIonCountFactor(a, b, c, d);
    for (QPointF& p : out) {
        p.setY(p.y() * f);
    }
    return out;
}

QList<QPointF> ScanData::culledBinVsCounts() const {
    QList<QPointF> out;
    cull(binVsCounts(), out, 500, 0.0, true);
    return out;
}

std::shared_ptr<PiecewiseTransform> ScanData::createRfTransform(ValueType type) const {
    const size_t slot = type == RfDac ? 2 : 1;
    if (rfTransforms_[slot] && rfTransformSegments_[slot] == sciDataPackets.size()) {
        return rfTransforms_[slot];
    }
    auto t = std::make_shared<PiecewiseTransform>();
    const auto value = type == RfDac ? &SciDataPacket::rfAmpDac : &SciDataPacket::rfAmp;
    for (size_t i = 0; i < sciDataPackets.size(); ++i) {
        const SciDataPacket& s = sciDataPackets[i];
        const double end = i + 1 < sciDataPackets.size()
                               ? sciDataPackets[i + 1].*value
                               : (type == RfDac ? rfAmpDACEnd() : rfAmpEnd());
        PiecewiseSection section;
        section.startRange = s.startBin;
        section.endRange = s.endBin;
        section.points = {{double(s.startBin), s.*value}, {double(s.endBin), end}};
        section.degree = 1;
        t->appendSection(section);
    }
    rfTransforms_[slot] = t;
    rfTransformSegments_[slot] = sciDataPackets.size();
    return t;
}

int ScanData::phaseCycle() const {
    return scanStatuses.isEmpty() ? MassCal::DEFAULT_PHASE_CYCLE
                                  : int(scanStatuses.last().phaseCycleReadback);
}

std::shared_ptr<CompositeTransform> ScanData::getTransform(ValueType from, ValueType to,
                                                           const MassCal& cal) const {
    auto chain = std::make_shared<CompositeTransform>();
    if (from == to) {
        return chain;
    }
    // Every axis is a chain of transforms from Bin; from one axis to another runs the first
    // chain backwards (inverses in reverse order), then the second forwards.
    auto fromBin = [&](ValueType axis) {
        QList<std::shared_ptr<BaseTransform>> steps;
        if (axis == RfMon || axis == RfDac) {
            steps.append(createRfTransform(axis));
        } else if (axis == Mass) {
            if (cal.controlMode() == MassCal::RF_MON) {
                steps.append(createRfTransform(RfMon));
            } else if (cal.controlMode() == MassCal::RF_DAC) {
                steps.append(createRfTransform(RfDac));
            }
            steps.append(std::make_shared<MassCalEntry>(cal.entry(phaseCycle())));
        }
        return steps;
    };
    const auto back = fromBin(from);
    for (qsizetype i = back.size() - 1; i >= 0; --i) {
        chain->addTransform(back[i], true);
    }
    for (const auto& step : fromBin(to)) {
        chain->addTransform(step, false);
    }
    return chain;
}

QList<int> ScanData::scanStatusPacketIndexes() const {
    QList<int> out;
    for (const ScanStatus& s : scanStatuses) {
        out.append(s.packetIndex);
    }
    return out;
}

QList<int> ScanData::sebSequencePacketIndexes() const {
    QList<int> out;
    for (const auto& seq : sebSequences) {
        if (seq) {
            out.append(seq->packetIndexes);
        }
    }
    return out;
}

int ScanData::darkOrLdi() const {
    if (scanStatuses.isEmpty() && sciDataPackets.empty()) {
        return DarkMode;
    }
    return rfAmpDACEnd() <= 100.0 ? DarkMode : LdiMode;
}

int ScanData::determineScanMode() const {
    if (!sebHk.isPresent()) {
        return UnknownMode;
    }
    if (sebHk.filamentAOn || sebHk.filamentBOn) {
        return EiMode;
    }
    if (srcPktType != 27) {
        return LdiMode;
    }
    return darkOrLdi();
}

bool ScanData::isDarkCountScan() const {
    return sebHk.isPresent() && !sebHk.filamentAOn && !sebHk.filamentBOn && srcPktType == 27 &&
           darkOrLdi() == DarkMode;
}

int ScanData::ionSource() const {
    if (gcHk.isPresent()) {
        return GcSource;
    }
    return laserPulses.isPresent() ? LdiSource : NoSource;
}

void ScanData::calculateEmOnTimes(double& emA, double& emB) const {
    emA = 0.0;
    emB = 0.0;
    const ScanStatus* s = scanStatuses.isEmpty() ? nullptr : &scanStatuses.last();
    if (sebSequences.isEmpty()) {
        if (!s) {
            return;
        }
        const double perScan = s->binTimeUs() * 1e-6 * nBins() * 1000.0 + 10.0;
        const double total = numSummedScans * perScan;
        if (s->em1() < EM_ON_VOLTS) {
            emA = total;
        }
        if (s->em2() < EM_ON_VOLTS) {
            emB = total;
        }
        return;
    }
    // Settings carry from one sequence to the next; each accumulator restarts when its
    // multiplier is switched on, so it ends as the time since the last switch-on.
    double setting[2] = {0.0, 0.0};
    double onTime[2] = {0.0, 0.0};
    auto multiplier = [](const SebCmd& cmd) {
        const QString name = cmd.fieldSciStr(0);
        return name == QLatin1String("EM_A") ? 0 : name == QLatin1String("EM_B") ? 1 : -1;
    };
    for (const auto& seq : sebSequences) {
        if (!seq) {
            continue;
        }
        for (const auto& cmdPtr : seq->commands) {
            if (!cmdPtr) {
                continue;
            }
            const SebCmd& cmd = *cmdPtr;
            const bool wasOn[2] = {setting[0] < EM_ON_VOLTS, setting[1] < EM_ON_VOLTS};
            double duration = 0.0;
            switch (cmd.number()) {
                case SebCmd::SET_DAC: {
                    const int m = s ? multiplier(cmd) : -1;
                    const double k = s ? std::trunc(cmd.fieldSci(0)) : -1.0;
                    if (m >= 0 && k >= 0.0 && k < ScanStatus::NUM_DAC_BYTES) {
                        setting[m] = s->dacReadbacks[size_t(k)];
                    }
                    break;
                }
                case SebCmd::SET_DAC_IMM: {
                    const int m = multiplier(cmd);
                    if (m >= 0) {
                        setting[m] = cmd.fieldSci(1);
                    }
                    break;
                }
                case SebCmd::PAUSE_IMM:
                    duration = cmd.fieldSci(0);
                    break;
                case SebCmd::PAUSE:
                    if (s) {
                        const double k = std::trunc(cmd.fieldSci(0));
                        if (k >= 0.0 && k < ScanStatus::NUM_TIMING_ITEMS) {
                            duration = s->timingItem(int(k));
                        }
                    }
                    break;
                case SebCmd::RAMP:
                    if (s) {
                        duration = s->binCountReg * s->binTimeUs() / 1000.0;
                    }
                    break;
                case SebCmd::RAMP_IMM:
                    if (s) {
                        duration = cmd.fieldSci(0) * s->binTimeUs() / 1000.0;
                    }
                    break;
                default:
                    break;
            }
            for (int m = 0; m < 2; ++m) {
                // A field without interpreter reads NaN: such a command adds no time.
                if (setting[m] < EM_ON_VOLTS && std::isfinite(duration)) {
                    onTime[m] += duration;
                }
                if (setting[m] < EM_ON_VOLTS && !wasOn[m]) {
                    onTime[m] = 0.0;
                }
            }
        }
    }
    emA = onTime[0] * numSummedScans;
    emB = onTime[1] * numSummedScans;
}

}  // namespace TarGse
