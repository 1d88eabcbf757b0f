#pragma once

#include <gselib/gse.h>

#include <cstdint>

namespace GseLib {
class TMPacket;
}

namespace TarGse {

/**
 * @brief The conversions scan assembly makes through the current interpretation engine: raw
 * numbers through database items, raw DAC counts through DAC rows, and items read from packets.
 *
 * Nothing here raises: without an engine, or without the item or DAC row asked for, the value
 * is 0, as for every scan quantity that cannot be formed.
 */
class ScanConversions {
public:
    /// raw through database item id in science mode; 0 without engine or item.
    static double throughItem(int id, double raw);
    /// Item id decoded from packet in the given mode; 0 without engine, item or value.
    static double itemValue(int id, const GseLib::TMPacket& packet, Gse::ValueMode mode);
    /**
     * raw through the DAC row of DAC ID row: masked and sign-extended as the row says, then
     * (raw - offset) / slope; 0 when the slope is 0 or the table has no such row.
     */
    static double throughDacRow(int row, uint32_t raw);
    /// The slope (scale) of the DAC row of DAC ID row; 0 without it.
    static double dacRowSlope(int row);
    /// A range bound converted to bins, rounded up; bounds beyond int are clamped, NaN is 0.
    static int roundUpToBin(double value);
};

}  // namespace TarGse
