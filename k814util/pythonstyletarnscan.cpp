#include <k814util/pythonstyletarnscan.h>

#include <k814util/interpretscanvalue.h>
#include <tarnlib/masscal.h>
#include <tarnlib/metamarkercache.h>
#include <tarnlib/scanconversions.h>

#include <cmath>

namespace k814util {

namespace {

// The fixed constants of the laboratory's corrected total ion count.
constexpr double kCorrA = 100.0;
constexpr double kCorrB = 100.0;
constexpr double kCorrC = -68.0;
constexpr double kCorrD = -0.0992;

template <typename Out, typename In>
std::vector<Out> toVector(const QList<In>& in) {
    return std::vector<Out>(in.begin(), in.end());
}

std::vector<double> sciValues(const GseLib::DataItems& items) {
    std::vector<double> out;
    out.reserve(items.size());
    for (const GseLib::DataItem& item : items) {
        out.push_back(item.toDouble());
    }
    return out;
}

// A step setting in DAC counts per step: the value times 1 / slope of the row, 0 for slope 0.
double perSlope(double value, int row) {
    const double slope = TarGse::ScanConversions::dacRowSlope(row);
    return slope == 0.0 ? 0.0 : value * (1.0 / slope);
}

}  // namespace

PythonStyleTarnScan::PythonStyleTarnScan(const TarGse::ScanData* scan,
                                         const TarGse::MarkerCache* markerCache,
                                         QSharedPointer<TarGse::MassCal> massCal,
                                         bool skipZeroIdMarkers)
    : massCal_(std::move(massCal)) {
    if (scan) {
        scan_ = *scan;
    }
    unixTimestamp_ = scan_.sciDataPackets.empty() ? 0.0 : scan_.sciDataPackets.front().unixTime;
    relativeTimestamp_ = scan_.relativeTimestamp();
    const QList<int> indexes = scan_.packetIndexes();
    if (markerCache && !indexes.isEmpty() && indexes.last() >= 0) {
        marker_ = markerCache->getMarker(unsigned(indexes.last()), &hasMarker_, skipZeroIdMarkers);
    }
}

double PythonStyleTarnScan::marker_relative_timestamp() const {
    return hasMarker_ ? marker_.relativeTime : 0.0;
}

int PythonStyleTarnScan::marker_id() const {
    return hasMarker_ ? int(marker_.markerId) : 0;
}

int PythonStyleTarnScan::quip_marker_index() const {
    return hasMarker_ ? int(marker_.markerIndex) + 1 : 0;
}

std::string PythonStyleTarnScan::marker_text() const {
    return hasMarker_ ? std::string(marker_.text) : std::string();
}

std::vector<TarGse::MetaMarker> PythonStyleTarnScan::get_meta_markers() const {
    TarGse::MetaMarkerCache& cache = TarGse::MetaMarkerCache::getInstance();
    cache.refresh();
    const QList<TarGse::MetaMarker> active = cache.getMetaMarkers(relativeTimestamp_);
    return std::vector<TarGse::MetaMarker>(active.begin(), active.end());
}

std::vector<int> PythonStyleTarnScan::counts() const {
    std::vector<int> out;
    int expected = 0;
    for (const QPointF& point : scan_.binVsCounts()) {
        const int bin = int(point.x());
        while (expected < bin) {
            out.push_back(0);
            ++expected;
        }
        out.push_back(int(point.y()));
        expected = bin + 1;
    }
    return out;
}

std::vector<int> PythonStyleTarnScan::culled_counts() const {
    std::vector<int> out;
    for (const QPointF& point : scan_.culledBinVsCounts()) {
        out.push_back(int(point.x()));
        out.push_back(int(point.y()));
    }
    return out;
}

std::vector<double> PythonStyleTarnScan::m_over_z_values() const {
    std::vector<double> out;
    if (!massCal_) {
        return out;
    }
    const auto transform =
        scan_.getTransform(TarGse::ScanData::Bin, TarGse::ScanData::Mass, *massCal_);
    const int n = scan_.nBins();
    out.reserve(size_t(n));
    for (int bin = 0; bin < n; ++bin) {
        out.push_back(transform ? transform->apply(bin) : double(bin));
    }
    return out;
}

int PythonStyleTarnScan::total_ion_count() const {
    return int(scan_.ionCount(0, 0));
}

std::vector<int> PythonStyleTarnScan::total_ion_counts() const {
    return toVector<int>(scan_.ticList());
}

double PythonStyleTarnScan::labCorrectedTotalIonCount(const TarGse::ScanData& scan) {
    return scan.correctedTotalIonCount(kCorrA, kCorrB, kCorrC, kCorrD);
}

double PythonStyleTarnScan::labCorrectedTotalIonCountFactor(const TarGse::ScanData& scan) {
    return scan.correctedTotalIonCountFactor(kCorrA, kCorrB, kCorrC, kCorrD);
}

double PythonStyleTarnScan::corrected_total_ion_count() const {
    return labCorrectedTotalIonCount(scan_);
}

double PythonStyleTarnScan::corrected_total_ion_count_factor() const {
    return labCorrectedTotalIonCountFactor(scan_);
}

std::vector<double> PythonStyleTarnScan::corrected_total_ion_count_factors() const {
    return toVector<double>(scan_.cFactors);
}

int PythonStyleTarnScan::highest_count() const {
    return int(scan_.maxIonCount());
}

int PythonStyleTarnScan::highest_count_bin_num() const {
    return scan_.highestCountBin();
}

int PythonStyleTarnScan::lowest_count() const {
    const QList<QPointF> points = scan_.binVsCounts();
    if (points.isEmpty()) {
        return 0;
    }
    double lowest = points.front().y();
    for (const QPointF& point : points) {
        if (point.y() < double(int(lowest))) {
            lowest = point.y();
        }
    }
    return int(lowest);
}

std::vector<RfStatusEntry> PythonStyleTarnScan::rf_status_entries() const {
    std::vector<RfStatusEntry> out;
    out.reserve(scan_.sciDataPackets.size());
    for (const TarGse::SciDataPacket& segment : scan_.sciDataPackets) {
        out.push_back({segment.startBin, segment.rfAmp, segment.rfAmpDac, segment.auxAmpDac});
    }
    return out;
}

double PythonStyleTarnScan::peak_counts_per_sec() const {
    const double binSecs = _seb_bin_time_readback_in_seconds();
    return binSecs == 0.0 ? 0.0 : double(int(scan_.maxIonCount())) / binSecs;
}

std::vector<double> PythonStyleTarnScan::seb_is_emon_a() const {
    return scan_.sebHk.isPresent() ? sciValues(scan_.sebHk.emonA.sciItems) : std::vector<double>();
}

std::vector<double> PythonStyleTarnScan::seb_is_emon_b() const {
    return scan_.sebHk.isPresent() ? sciValues(scan_.sebHk.emonB.sciItems) : std::vector<double>();
}

std::string PythonStyleTarnScan::scan_mode_as_string() const {
    switch (scan_.determineScanMode()) {
        case TarGse::ScanData::EiMode:
            return "EI";
        case TarGse::ScanData::DarkMode:
            return "Dark";
        case TarGse::ScanData::LdiMode:
            return "LDI";
        default:
            return "Unknown";
    }
}

double PythonStyleTarnScan::selected_ion_count_sum_by_bin(int min_bin, int max_bin) const {
    double sum = 0.0;
    double max = 0.0;
    scan_.selectedIonCountSumAndMax(sum, max, min_bin, max_bin);
    return sum;
}

double PythonStyleTarnScan::selected_ion_count_max_by_bin(int min_bin, int max_bin) const {
    double sum = 0.0;
    double max = 0.0;
    scan_.selectedIonCountSumAndMax(sum, max, min_bin, max_bin);
    return max;
}

std::pair<int, int> PythonStyleTarnScan::massRangeToBins(double minMass, double maxMass) const {
    if (!massCal_) {
        return {0, 0};
    }
    const auto transform =
        scan_.getTransform(TarGse::ScanData::Mass, TarGse::ScanData::Bin, *massCal_);
    if (!transform) {
        return {0, 0};
    }
    return {TarGse::ScanConversions::roundUpToBin(transform->apply(minMass)),
            TarGse::ScanConversions::roundUpToBin(transform->apply(maxMass))};
}

double PythonStyleTarnScan::selected_ion_count_sum_by_mass(double min_mass, double max_mass) const {
    // Bins (0, 0) would ask for the whole scan; a mass range that lands there selects nothing.
    const auto [low, high] = massRangeToBins(min_mass, max_mass);
    return low == 0 && high == 0 ? 0.0 : selected_ion_count_sum_by_bin(low, high);
}

double PythonStyleTarnScan::selected_ion_count_max_by_mass(double min_mass, double max_mass) const {
    const auto [low, high] = massRangeToBins(min_mass, max_mass);
    return low == 0 && high == 0 ? 0.0 : selected_ion_count_max_by_bin(low, high);
}

std::vector<int> PythonStyleTarnScan::seb_sequence_pkt_indexes() const {
    return toVector<int>(scan_.sebSequencePacketIndexes());
}

std::vector<double> PythonStyleTarnScan::em_on_times_in_ms() const {
    double emA = 0.0;
    double emB = 0.0;
    scan_.calculateEmOnTimes(emA, emB);
    return {emA, emB};
}

const TarGse::ScanStatus* PythonStyleTarnScan::lastStatus() const {
    return scan_.scanStatuses.isEmpty() ? nullptr : &scan_.scanStatuses.last();
}

double PythonStyleTarnScan::charge_control_duration() const {
    const auto* s = lastStatus();
    return s ? s->chargeControlDuration() : 0.0;
}

int PythonStyleTarnScan::laser_shots() const {
    return scan_.laserPulses.isPresent() ? scan_.laserPulses.laserShots() : 0;
}

double PythonStyleTarnScan::avg_laser_energy() const {
    return scan_.laserPulses.isPresent() ? scan_.laserPulses.meanEnergy() : 0.0;
}

double PythonStyleTarnScan::sd_laser_energy() const {
    return scan_.laserPulses.isPresent() ? scan_.laserPulses.sdEnergy() : 0.0;
}

double PythonStyleTarnScan::_seb_bin_time_readback() const {
    const auto* s = lastStatus();
    return s ? s->binTimeUs() : 0.0;
}

int PythonStyleTarnScan::_seb_special_scan_id() const {
    const auto* s = lastStatus();
    return s ? int(s->specialScanId) : 0;
}

int PythonStyleTarnScan::_seb_raw_scan_value() const {
    const auto* s = lastStatus();
    return s ? int(s->rawScanValue) : 0;
}

double PythonStyleTarnScan::_seb_scan_value() const {
    return lastStatus() ? interpretScanValue(_seb_special_scan_id(), _seb_raw_scan_value()) : 0.0;
}

double PythonStyleTarnScan::_seb_rf_freq_hz() const {
    const auto* s = lastStatus();
    return s ? s->rfFreqHz : 0.0;
}

double PythonStyleTarnScan::_seb_last_rf_amp_mon() const {
    const auto* s = lastStatus();
    return s ? s->lastRfAmpMon : 0.0;
}

double PythonStyleTarnScan::_seb_rf_amp_dac_set() const {
    const auto* s = lastStatus();
    return s ? s->rfAmpDacEnd : 0.0;
}

double PythonStyleTarnScan::_seb_aux_amp_dac_set() const {
    const auto* s = lastStatus();
    return s ? s->auxAmpDacEnd : 0.0;
}

int PythonStyleTarnScan::_seb_counter_sel() const {
    const auto* s = lastStatus();
    return s ? int(s->counterSelect) : 0;
}

int PythonStyleTarnScan::_seb_bin_count_set() const {
    const auto* s = lastStatus();
    return s ? int(s->binCountSet) : 0;
}

int PythonStyleTarnScan::_seb_bin_count_reg() const {
    const auto* s = lastStatus();
    return s ? int(s->binCountReg) : 0;
}

int PythonStyleTarnScan::_seb_phase_cycle_rdbk() const {
    const auto* s = lastStatus();
    return s ? int(s->phaseCycleReadback) : 0;
}

double PythonStyleTarnScan::_seb_rf_step_set() const {
    const auto* s = lastStatus();
    return s ? perSlope(s->rfStepSet, TarGse::ScanStatus::RF_AMP_DAC_ROW) : 0.0;
}

double PythonStyleTarnScan::_seb_rf_step_reg() const {
    const auto* s = lastStatus();
    return s ? perSlope(s->rfStepReg, TarGse::ScanStatus::RF_AMP_DAC_ROW) : 0.0;
}

double PythonStyleTarnScan::_seb_aux_step_set() const {
    const auto* s = lastStatus();
    return s ? perSlope(s->auxStepSet, TarGse::ScanStatus::AUX_AMP_DAC_ROW) : 0.0;
}

double PythonStyleTarnScan::_seb_aux_step_reg() const {
    const auto* s = lastStatus();
    return s ? perSlope(s->auxStepReg, TarGse::ScanStatus::AUX_AMP_DAC_ROW) : 0.0;
}

double PythonStyleTarnScan::_seb_ionization_time_in_milliseconds() const {
    const auto* s = lastStatus();
    return s ? s->ionTimeMs() : 0.0;
}

double PythonStyleTarnScan::_seb_scan_em1() const {
    const auto* s = lastStatus();
    return s ? s->dacSettings[TarGse::ScanStatus::EM1] : 0.0;
}

double PythonStyleTarnScan::_seb_scan_em2() const {
    const auto* s = lastStatus();
    return s ? s->dacSettings[TarGse::ScanStatus::EM2] : 0.0;
}

int PythonStyleTarnScan::_seb_scan_em1_raw() const {
    const auto* s = lastStatus();
    return s ? s->dacSettingsRaw[TarGse::ScanStatus::EM1] : 0;
}

int PythonStyleTarnScan::_seb_scan_em2_raw() const {
    const auto* s = lastStatus();
    return s ? s->dacSettingsRaw[TarGse::ScanStatus::EM2] : 0;
}

double PythonStyleTarnScan::_seb_src_a_foc_a_dac_set() const {
    const auto* s = lastStatus();
    return s ? s->dacSettings[TarGse::ScanStatus::SRC_A_FOC_A] : 0.0;
}

double PythonStyleTarnScan::_seb_src_b_foc_a_dac_set() const {
    const auto* s = lastStatus();
    return s ? s->dacSettings[TarGse::ScanStatus::SRC_B_FOC_A] : 0.0;
}

double PythonStyleTarnScan::_seb_src_a_foc_a_dac_reg() const {
    const auto* s = lastStatus();
    return s ? s->dacReadbacks[TarGse::ScanStatus::SRC_A_FOC_A] : 0.0;
}

double PythonStyleTarnScan::_seb_src_b_foc_a_dac_reg() const {
    const auto* s = lastStatus();
    return s ? s->dacReadbacks[TarGse::ScanStatus::SRC_B_FOC_A] : 0.0;
}

}  // namespace k814util
