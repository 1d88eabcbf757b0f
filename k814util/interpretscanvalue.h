#pragma once

namespace k814util {

/**
 * A special scan's raw scan value in engineering units: through the scan-type table's entry for
 * specialScanId when there is one, else through the DAC row of that id when the current DAC
 * table names one, else the raw value as it is.
 * @throw std::runtime_error before the process is bound to a telemetry file
 */
double interpretScanValue(int specialScanId, int rawValue);

}  // namespace k814util
