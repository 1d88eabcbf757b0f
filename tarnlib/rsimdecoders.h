#pragma once

// The RSIM decoders: the bus-1 current block (every sample, minimum, maximum, average) and the
// bus power products. The block decoders share one walk over the samples, so they live together.

#include <tarnlib/tarndecoder.h>

namespace TarGse::TarDataInterpretationImpl {

/**
 * @brief One reduction of the 1000 current samples a packet holds, 1 ms apart and ending at
 * the packet's time.
 */
class RsimBlockDecoder : public TarnDecoder {
public:
    enum Reduction { Each, Min, Max, Avg };
    static constexpr int SAMPLES = 1000;

    RsimBlockDecoder(int type, const char* name, Reduction reduction)
        : TarnDecoder(type, name), reduction_(reduction) {}
    bool decode(const GseLib::TmDatabaseRow& row, const GseLib::TMPacket* packet,
                GseLib::DataItems& items, const GseLib::CurrentValueTable* cvt) const override;

private:
    Reduction reduction_;
};

/// @brief Type 211: every sample of the block.
class RsimBus1CurrentDecoder : public RsimBlockDecoder {
public:
    RsimBus1CurrentDecoder() : RsimBlockDecoder(211, "RsimBus1CurrentDecoder", Each) {}
};
/// @brief Type 212: the smallest sample, the earliest of equals.
class RsimBus1CurrentMinDecoder : public RsimBlockDecoder {
public:
    RsimBus1CurrentMinDecoder() : RsimBlockDecoder(212, "RsimBus1CurrentMinDecoder", Min) {}
};
/// @brief Type 213: the largest sample, the earliest of equals.
class RsimBus1CurrentMaxDecoder : public RsimBlockDecoder {
public:
    RsimBus1CurrentMaxDecoder() : RsimBlockDecoder(213, "RsimBus1CurrentMaxDecoder", Max) {}
};
/// @brief Type 214: the mean of the samples, half a second before the packet.
class RsimBus1CurrentAvgDecoder : public RsimBlockDecoder {
public:
    RsimBus1CurrentAvgDecoder() : RsimBlockDecoder(214, "RsimBus1CurrentAvgDecoder", Avg) {}
};

/**
 * @brief Bus power: the product of two 32-bit floats (voltage and current) a fixed distance
 * apart, half a second before the packet. False, without item, when a float lies past the data.
 */
class RsimBusPowerDecoder : public TarnDecoder {
public:
    RsimBusPowerDecoder(int type, const char* name, uint64_t gap)
        : TarnDecoder(type, name), gap_(gap) {}
    bool decode(const GseLib::TmDatabaseRow& row, const GseLib::TMPacket* packet,
                GseLib::DataItems& items, const GseLib::CurrentValueTable* cvt) const override;

private:
    uint64_t gap_;
};

/// @brief Type 227: the second float 12 bytes after the first.
class RsimBus1PowerDecoder : public RsimBusPowerDecoder {
public:
    RsimBus1PowerDecoder() : RsimBusPowerDecoder(227, "RsimBus1PowerDecoder", 12) {}
};
/// @brief Type 228: the second float 8 bytes after the first.
class RsimBus2PowerDecoder : public RsimBusPowerDecoder {
public:
    RsimBus2PowerDecoder() : RsimBusPowerDecoder(228, "RsimBus2PowerDecoder", 8) {}
};
/// @brief Type 229: the second float 4 bytes after the first.
class RsimBus3PowerDecoder : public RsimBusPowerDecoder {
public:
    RsimBus3PowerDecoder() : RsimBusPowerDecoder(229, "RsimBus3PowerDecoder", 4) {}
};

}  // namespace TarGse::TarDataInterpretationImpl
