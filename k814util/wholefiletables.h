#pragma once

#include <k814util/columntable.h>

#include <string>
#include <vector>

namespace k814util {

class ScienceDataCacheWrapper;

/**
 * @name Whole-file tables
 * Each result a script reads for a whole file at once, computed in one pass over the shared
 * cache and handed over as a ColumnTable; the column names are the ones scripts see.
 * @{
 */

/**
 * Every value of item hkid in mode (0 raw, 1 eng, 2 sci): unix_time, relative_time, value
 * (float64, or the texts when any value is text) and packet, as ItemSeries holds them.
 * @throw std::invalid_argument for an item the database does not hold or a mode outside 0-2
 */
ColumnTable itemSeriesTable(int hkid, int mode);

/**
 * Every packet of the bound file: index, type, full_type, total_length, length, sequence, sclk,
 * checksum (int64), gse_created (bool), marker_id (the preceding TARN marker's id, 0 when
 * none), unix_time, relative_time (float64) and type_name: the packet-type catalogue's name of
 * the full type when it has one, else that of the type. Empty while nothing is bound.
 */
ColumnTable packetTable();

/// The database's items by id: id, packet_type (int64) and the texts mnemonic, subsystem,
/// name, units_raw, units_eng, units_sci and description.
ColumnTable itemCatalogueTable();

/// The TARN marker packets in time order: marker_index, packet, marker_id, sclk (int64),
/// relative_time, unix_time (float64) and text.
ColumnTable tarnMarkerTable();

/**
 * The packet headers of the file at path (see PacketHeaderTable): offset (int64), length
 * (int32), type, sequence_count (uint16), sequence_flags, secondary_header (uint8),
 * raw_timestamp (uint32), bytes (uint8, empty unless withBytes) and the texts diagnostics.
 * @throw std::invalid_argument for an unknown format
 * @throw std::runtime_error when the file cannot be opened
 */
ColumnTable packetHeaderTable(const std::string& path, int format, bool withBytes, bool syncPrefix);

/**
 * Scans first to last - 1 of the wrapper as arrays and figures: n_bins (int64), with arrays
 * the scans' counts one after another (int32, or float64 when a count has a fraction), their
 * mz alike (NaN without a mass calibration) and offsets (int64, rows + 1: where each scan
 * starts in them, then their length), the per-scan figures of SpectraArrays (relative_time,
 * unix_time, corrected_tic, marker_time float64; tic, highest_count, highest_count_bin, mode,
 * ion_source, src_pkt_type, summed_scans, marker_id int64) and the texts marker_text.
 * @throw std::out_of_range when the range does not lie within the scans
 */
ColumnTable spectraTable(const ScienceDataCacheWrapper& scans, int first, int last,
                         bool arrays = true);

/**
 * The items that have limits (LimitTable), in id order: id (int64), the texts mnemonic,
 * subsystem and units, then for each set n value_mode_n ("raw", "eng", "sci"; "" without a
 * limit) and comparison_n ("below", "above", "equal", "not equal"; "" likewise) as texts,
 * yellow_n and red_n (float64, NaN when not set) and persistence_n (int64).
 * @throw std::runtime_error when no interpretation engine exists yet
 */
ColumnTable limitTable();

/**
 * The limit-violation spans of hkids (LimitViolations; all items with limits when empty), red
 * ones only when redOnly: id, set (int64), the texts mnemonic, level ("yellow", "red"),
 * value_mode and comparison, limit, start_unix, end_unix, start_relative, end_relative
 * (float64), first_packet, last_packet, samples (int64), worst, worst_unix, worst_relative
 * (float64) and open (bool).
 * @throw std::invalid_argument for an hkid the database does not hold
 * @throw std::runtime_error when no interpretation engine exists yet
 */
ColumnTable limitViolationTable(const std::vector<int>& hkids, bool redOnly);

/// @}

}  // namespace k814util
