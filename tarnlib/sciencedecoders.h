#pragma once

// Decoders of whole summed and aggregated science packets: per-segment descriptor values and
// the packet's total ion count.

#include <tarnlib/tarndecoder.h>

namespace TarGse::TarDataInterpretationImpl {

/**
 * @brief Type 203: the row's field in every segment descriptor of a summed or aggregated
 * science packet, each timed at its segment's first bin (100 bins per segment, the bin period
 * from the latest SEB housekeeping packet).
 */
class AggregatedSciPacketDecoder : public TarnDecoder {
public:
    static constexpr uint64_t DESCRIPTOR_BYTES = 8;

    AggregatedSciPacketDecoder() : TarnDecoder(203, "AggregatedSciPacketDecoder") {}
    bool decode(const GseLib::TmDatabaseRow& row, const GseLib::TMPacket* packet,
                GseLib::DataItems& items, const GseLib::CurrentValueTable* cvt) const override;
};

/**
 * @brief Type 230: the sum of all counts of the scan a summed or aggregated packet holds, at
 * the packet's time.
 */
class SumPacketTotalIonCountDecoder : public TarnDecoder {
public:
    SumPacketTotalIonCountDecoder() : TarnDecoder(230, "SumPacketTotalIonCountDecoder") {}
    bool decode(const GseLib::TmDatabaseRow& row, const GseLib::TMPacket* packet,
                GseLib::DataItems& items, const GseLib::CurrentValueTable* cvt) const override;
};

}  // namespace TarGse::TarDataInterpretationImpl
