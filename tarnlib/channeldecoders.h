#pragma once

// Decoders of packets whose entries name their channel: GC records and SEB ADC entries.

#include <tarnlib/tarndecoder.h>

namespace TarGse::TarDataInterpretationImpl {

/**
 * @brief Type 204: one channel of the GC packet's 20 records (60 bytes apart, 0.05 s apart
 * over the second before the packet).
 *
 * decode_id holds the record's start offset, the wanted channel, a mask and a shift. Values of
 * records starting at offset 44 carry their channel in bits 16-23.
 */
class GcPacketDecoder : public TarnDecoder {
public:
    static constexpr int RECORDS = 20;
    static constexpr uint64_t RECORD_BYTES = 60;

    GcPacketDecoder() : TarnDecoder(204, "GcPacketDecoder") {}
    bool decode(const GseLib::TmDatabaseRow& row, const GseLib::TMPacket* packet,
                GseLib::DataItems& items, const GseLib::CurrentValueTable* cvt) const override;
};

/**
 * @brief Type 224: the values of one channel (decode_id[0]) among the 31 entries of a SEB ADC
 * packet, spaced by the milliseconds at data byte 200 and ending at the packet's time.
 *
 * A packet too short to hold the spacing byte gives no item: its entries cannot be timed.
 */
class SebAdcValueDecoder : public TarnDecoder {
public:
    static constexpr int ENTRIES = 31;
    static constexpr uint64_t SPACING_BYTE = 200;

    SebAdcValueDecoder() : TarnDecoder(224, "SebAdcValueDecoder") {}
    bool decode(const GseLib::TmDatabaseRow& row, const GseLib::TMPacket* packet,
                GseLib::DataItems& items, const GseLib::CurrentValueTable* cvt) const override;
};

}  // namespace TarGse::TarDataInterpretationImpl
