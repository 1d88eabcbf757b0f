#pragma once

// Decoders of the VIREO packet layouts (DECODE_TYPE 100 to 112), served by the built-in VIREO
// decoder maker. Offsets count from the packet's first byte unless the data field is named.

#include <gselib/decoder.h>

namespace VireoGse {

using GseLib::CurrentValueTable;
using GseLib::DataItems;
using GseLib::TmDatabaseRow;
using GseLib::TMPacket;

#define VIREO_DECODER(Class, Type)                                                      \
    class Class : public GseLib::Decoder {                                              \
    public:                                                                             \
        int type() const override { return Type; }                                      \
        bool decode(const TmDatabaseRow& row, const TMPacket* packet, DataItems& items, \
                    const CurrentValueTable* cvt) const override;                       \
    };

/// @brief Housekeeping ADC channels: 32 (channel, 16-bit value) entries from data byte 7.
VIREO_DECODER(CtlHkAdcValuesDecoder, 100)
/// @brief General status registers: 32 (register, 32-bit value) entries from data byte 15.
VIREO_DECODER(CtlStatusGenRegValuesDecoder, 101)
/// @brief Science bin counts: 1- or 2-byte elements from decode_id[0] to the packet end.
VIREO_DECODER(CtlScienceBinCountsDecoder, 102)
/// @brief RF totals of a summed science packet.
VIREO_DECODER(CtlScienceSumRfTotalsDecoder, 103)
/// @brief Every laser energy sample.
VIREO_DECODER(LeuEnergySampleValueDecoder, 104)
/// @brief Mean of the laser energy samples.
VIREO_DECODER(LeuEnergySampleAvgDecoder, 105)
/// @brief Smallest laser energy sample.
VIREO_DECODER(LeuEnergySampleMinDecoder, 106)
/// @brief Largest laser energy sample.
VIREO_DECODER(LeuEnergySampleMaxDecoder, 107)
/// @brief Standard deviation (divisor n) of the laser energy samples.
VIREO_DECODER(LeuEnergySampleStdDevDecoder, 108)
/// @brief The values that follow the RF totals of a summed science packet.
VIREO_DECODER(CtlScienceSumRfValuesDecoder, 109)
/// @brief Pirani gauge records of the MMC housekeeping packet.
VIREO_DECODER(MmcPiraniValuesDecoder, 110)
/// @brief Strip-chart samples of the MMC housekeeping packet.
VIREO_DECODER(MmcStripChartDecoder, 111)
/// @brief A 16-bit reading calibrated against the 2.5 V reference in the current value table.
VIREO_DECODER(MmcVRefCalibratedDecoder, 112)

#undef VIREO_DECODER

}  // namespace VireoGse
