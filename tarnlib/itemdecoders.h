#pragma once

// Decoders that compute from other database items of the same packet: RF frequency, filament
// resistance, normalized RF pressure, rover bus power and laser housekeeping times.

#include <tarnlib/tarndecoder.h>

namespace TarGse::TarDataInterpretationImpl {

/**
 * @brief Type 226: 5000 B / A of the items named by decode_id[0] (A) and decode_id[1] (B), both
 * read from the data field with their own bit definitions; nothing when A is 0.
 */
class SebRfFreqDecoder : public TarnDecoder {
public:
    SebRfFreqDecoder() : TarnDecoder(226, "SebRfFreqDecoder") {}
    bool decode(const GseLib::TmDatabaseRow& row, const GseLib::TMPacket* packet,
                GseLib::DataItems& items, const GseLib::CurrentValueTable* cvt) const override;
};

/**
 * @brief Combines the science values of two items (decode_id[0] and decode_id[1]) decoded on
 * the packet, pairing their lists: element by element when equally long, else every element of
 * the longer list with the other's first, each result timed like its element of the longer
 * list.
 */
class ItemPairDecoder : public TarnDecoder {
public:
    using TarnDecoder::TarnDecoder;
    bool decode(const GseLib::TmDatabaseRow& row, const GseLib::TMPacket* packet,
                GseLib::DataItems& items, const GseLib::CurrentValueTable* cvt) const override;

protected:
    /// The value for a pair; false skips it.
    virtual bool combine(double a, double b, double& value) const = 0;
};

/// @brief Type 236: A / B, a zero divisor skipping its pair.
class SebFilamentResistance : public ItemPairDecoder {
public:
    SebFilamentResistance() : ItemPairDecoder(236, "SebFilamentResistance") {}

protected:
    bool combine(double a, double b, double& value) const override;
};

/// @brief Type 241: pressure A normalized to 293 K from temperature B in degrees Celsius.
class NormalizedRfPressure : public ItemPairDecoder {
public:
    NormalizedRfPressure() : ItemPairDecoder(241, "NormalizedRfPressure") {}

protected:
    bool combine(double a, double b, double& value) const override;
};

/**
 * @brief Types 247 to 250: the product of the first science values of the items decode_id[0]
 * and decode_id[1] (voltage and current), at the packet's time; nothing when either fails.
 */
class RoverBusPowerDecoder : public TarnDecoder {
public:
    using TarnDecoder::TarnDecoder;
    bool decode(const GseLib::TmDatabaseRow& row, const GseLib::TMPacket* packet,
                GseLib::DataItems& items, const GseLib::CurrentValueTable* cvt) const override;
};

/// @brief Type 247.
class RoverBus1PowerDecoder : public RoverBusPowerDecoder {
public:
    RoverBus1PowerDecoder() : RoverBusPowerDecoder(247, "RoverBus1PowerDecoder") {}
};
/// @brief Type 248.
class RoverBus2PowerDecoder : public RoverBusPowerDecoder {
public:
    RoverBus2PowerDecoder() : RoverBusPowerDecoder(248, "RoverBus2PowerDecoder") {}
};
/// @brief Type 249.
class RoverBus3PowerDecoder : public RoverBusPowerDecoder {
public:
    RoverBus3PowerDecoder() : RoverBusPowerDecoder(249, "RoverBus3PowerDecoder") {}
};
/// @brief Type 250.
class RoverBus4PowerDecoder : public RoverBusPowerDecoder {
public:
    RoverBus4PowerDecoder() : RoverBusPowerDecoder(250, "RoverBus4PowerDecoder") {}
};

/**
 * @brief Type 235: the row's raw field, timed decode_id[0] half-periods after the packet,
 * the period in whole seconds from the milliseconds of item 1094.
 */
class LaserHkDecoder : public TarnDecoder {
public:
    static constexpr int PERIOD_ITEM = 1094;

    LaserHkDecoder() : TarnDecoder(235, "LaserHkDecoder") {}
    bool decode(const GseLib::TmDatabaseRow& row, const GseLib::TMPacket* packet,
                GseLib::DataItems& items, const GseLib::CurrentValueTable* cvt) const override;
};

}  // namespace TarGse::TarDataInterpretationImpl
