#pragma once

#include <k814util/rfstatusentry.h>
#include <tarnlib/markercache.h>
#include <tarnlib/metamarker.h>
#include <tarnlib/scandata.h>

#include <QSharedPointer>
#include <string>
#include <vector>

namespace TarGse {
class MassCal;
}

namespace k814util {

/**
 * @brief One TARN mass-spectrum scan as scripts see it: a self-contained copy of the scan with
 * its marker, times and the test's mass calibration, answering every script-visible quantity.
 *
 * What a scan lacks (no status, no SEB housekeeping, no laser packet, no calibration) reads as
 * 0, false, an empty string or an empty list.
 */
class PythonStyleTarnScan {
public:
    /// An empty scan: no segments, no marker, no calibration.
    PythonStyleTarnScan() = default;
    PythonStyleTarnScan(const TarGse::ScanData* scan, const TarGse::MarkerCache* markerCache,
                        QSharedPointer<TarGse::MassCal> massCal, bool skipZeroIdMarkers);

    double unix_timestamp() const { return unixTimestamp_; }
    double relative_timestamp() const { return relativeTimestamp_; }
    double marker_relative_timestamp() const;
    int marker_id() const;
    int quip_marker_index() const;
    std::string marker_text() const;
    std::vector<TarGse::MetaMarker> get_meta_markers() const;

    std::vector<int> counts() const;
    std::vector<int> culled_counts() const;
    std::vector<double> m_over_z_values() const;
    int total_ion_count() const;
    std::vector<int> total_ion_counts() const;
    double corrected_total_ion_count() const;
    double corrected_total_ion_count_factor() const;
    std::vector<double> corrected_total_ion_count_factors() const;
    int science_data_pkt_version() const { return scan_.sciDataPktVersion; }
    int highest_count() const;
    int highest_count_bin_num() const;
    int lowest_count() const;
    std::vector<RfStatusEntry> rf_status_entries() const;
    double rf_amp_start() const { return scan_.rfAmpStart(); }
    double rf_amp_end() const { return scan_.rfAmpEnd(); }
    double rf_amp_dac_start() const { return scan_.rfAmpDACStart(); }
    double rf_amp_dac_end() const { return scan_.rfAmpDACEnd(); }
    double aux_amp_dac_start() const { return scan_.auxAmpDACStart(); }
    double aux_amp_dac_end() const { return scan_.auxAmpDACEnd(); }
    double total_scan_time() const { return scan_.totalScanTimeSecs(); }
    double peak_counts_per_sec() const;
    int src_pkt_type() const { return scan_.srcPktType; }
    int num_scans() const { return scan_.numSummedScans; }
    bool has_scan_status() const { return !scan_.scanStatuses.isEmpty(); }
    int num_scan_status_pkts() const { return int(scan_.scanStatuses.size()); }
    bool has_seb_hk_pkt() const { return scan_.sebHk.isPresent(); }
    std::vector<double> seb_is_emon_a() const;
    std::vector<double> seb_is_emon_b() const;
    bool _seb_is_fil_a_on() const { return scan_.sebHk.isPresent() && scan_.sebHk.filamentAOn; }
    bool _seb_is_fil_b_on() const { return scan_.sebHk.isPresent() && scan_.sebHk.filamentBOn; }
    bool is_dark_count_scan() const { return scan_.isDarkCountScan(); }
    int determine_scan_mode() const { return scan_.determineScanMode(); }
    std::string scan_mode_as_string() const;
    bool gc_ion_source() const { return scan_.ionSource() == TarGse::ScanData::GcSource; }
    bool ldi_ion_source() const { return scan_.ionSource() == TarGse::ScanData::LdiSource; }
    double selected_ion_count_sum_by_bin(int min_bin, int max_bin) const;
    double selected_ion_count_max_by_bin(int min_bin, int max_bin) const;
    double selected_ion_count_sum_by_mass(double min_mass, double max_mass) const;
    double selected_ion_count_max_by_mass(double min_mass, double max_mass) const;
    std::vector<int> seb_sequence_pkt_indexes() const;
    std::vector<double> em_on_times_in_ms() const;
    double charge_control_duration() const;
    int laser_shots() const;
    double avg_laser_energy() const;
    double sd_laser_energy() const;

    double _seb_bin_time_readback() const;
    double _seb_bin_time_readback_in_seconds() const { return _seb_bin_time_readback() / 1e6; }
    int _seb_special_scan_id() const;
    int _seb_raw_scan_value() const;
    double _seb_scan_value() const;
    double _seb_rf_freq_hz() const;
    double _seb_last_rf_amp_mon() const;
    double _seb_rf_amp_dac_set() const;
    double _seb_aux_amp_dac_set() const;
    int _seb_counter_sel() const;
    int _seb_bin_count_set() const;
    int _seb_bin_count_reg() const;
    int _seb_phase_cycle_rdbk() const;
    double _seb_rf_step_set() const;
    double _seb_rf_step_reg() const;
    double _seb_aux_step_set() const;
    double _seb_aux_step_reg() const;
    double _seb_ionization_time_in_milliseconds() const;
    double _seb_scan_em1() const;
    double _seb_scan_em2() const;
    int _seb_scan_em1_raw() const;
    int _seb_scan_em2_raw() const;
    double _seb_src_a_foc_a_dac_set() const;
    double _seb_src_b_foc_a_dac_set() const;
    double _seb_src_a_foc_a_dac_reg() const;
    double _seb_src_b_foc_a_dac_reg() const;

#ifndef SWIG
    /// The scan copied at construction.
    const TarGse::ScanData& scanData() const {
        return scan_;
    }
    /// The corrected total ion count of scan with the laboratory's fixed constants, as scripts
    /// get it from every scan.
    static double labCorrectedTotalIonCount(const TarGse::ScanData& scan);
    static double labCorrectedTotalIonCountFactor(const TarGse::ScanData& scan);
#endif

private:
    // The last scan status, or null without any.
    const TarGse::ScanStatus* lastStatus() const;
    // Both masses to bins through the calibration, each rounded up; (0, 0) without one.
    std::pair<int, int> massRangeToBins(double minMass, double maxMass) const;

    TarGse::ScanData scan_;
    TarGse::MarkerData marker_;
    bool hasMarker_ = false;
    double unixTimestamp_ = 0.0;
    double relativeTimestamp_ = 0.0;
    QSharedPointer<TarGse::MassCal> massCal_;
};

}  // namespace k814util
