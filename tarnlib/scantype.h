#pragma once

#include <QFlags>

/// Enumerations of the TARN instrument.
namespace TARN {

/// The kind of science packet a scan was built from, as a flag so a cache can take several.
enum ScanType {
    SingleScan = 1,      ///< type-26 packets, one segment each
    SummedScan = 2,      ///< a type-27 packet: several scans added, 16-bit counts
    AggregatedScan = 4,  ///< a type-28 packet: several segments, 8-bit counts
};
Q_DECLARE_FLAGS(ScanTypes, ScanType)
Q_DECLARE_OPERATORS_FOR_FLAGS(ScanTypes)

/// How the relative timestamp of a summed scan is chosen.
enum SummedScanTimestampMode {
    FirstPacket = 0,      ///< the first segment's relative time
    MeanOfScans = 1,      ///< the mean of the scan statuses' relative times
    MidpointOfScans = 2,  ///< the mean of the first and the last status's relative times
};

}  // namespace TARN
