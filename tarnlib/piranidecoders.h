#pragma once

// The micro-Pirani decoders: pressure records with their time steps (every record, average,
// highest, lowest), which share one walk over the records, and the gauge algorithm that turns
// bridge readings into pressures.

#include <tarnlib/tarndecoder.h>

namespace TarGse::TarDataInterpretationImpl {

/**
 * @brief One reduction of a packet's 12-byte pressure records; each record's time step (units
 * of 0.1 ms) adds to the ones before it.
 *
 * The average of a packet without records is no item: there is nothing to average, and a zero
 * would read as a real pressure.
 */
class MicroPiraniRecordDecoder : public TarnDecoder {
public:
    enum Reduction { Each, Avg, Hi, Lo };
    static constexpr uint64_t RECORD_BYTES = 12;

    MicroPiraniRecordDecoder(int type, const char* name, Reduction reduction)
        : TarnDecoder(type, name), reduction_(reduction) {}
    bool decode(const GseLib::TmDatabaseRow& row, const GseLib::TMPacket* packet,
                GseLib::DataItems& items, const GseLib::CurrentValueTable* cvt) const override;

private:
    Reduction reduction_;
};

/// @brief Type 220: every record's pressure at its accumulated time.
class MicroPiraniPressureDecoder : public MicroPiraniRecordDecoder {
public:
    MicroPiraniPressureDecoder()
        : MicroPiraniRecordDecoder(220, "MicroPiraniPressureDecoder", Each) {}
};
/// @brief Type 221: the single-precision mean, truncated, at half the packet's time span.
class MicroPiraniPressureAvgDecoder : public MicroPiraniRecordDecoder {
public:
    MicroPiraniPressureAvgDecoder()
        : MicroPiraniRecordDecoder(221, "MicroPiraniPressureAvgDecoder", Avg) {}
};
/// @brief Type 222: the highest pressure, the earliest of equals.
class MicroPiraniPressureHiDecoder : public MicroPiraniRecordDecoder {
public:
    MicroPiraniPressureHiDecoder()
        : MicroPiraniRecordDecoder(222, "MicroPiraniPressureHiDecoder", Hi) {}
};
/// @brief Type 223: the lowest pressure, the earliest of equals.
class MicroPiraniPressureLoDecoder : public MicroPiraniRecordDecoder {
public:
    MicroPiraniPressureLoDecoder()
        : MicroPiraniRecordDecoder(223, "MicroPiraniPressureLoDecoder", Lo) {}
};

/**
 * @brief Type 225: pressures from the gauge's bridge readings (little-endian), against the
 * reference reading at data byte 81, 0.01 s apart.
 */
class MicroPiraniAlgorithmDecoder : public TarnDecoder {
public:
    static constexpr int MAX_SAMPLES = 100;

    MicroPiraniAlgorithmDecoder() : TarnDecoder(225, "MicroPiraniAlgorithmDecoder") {}
    bool decode(const GseLib::TmDatabaseRow& row, const GseLib::TMPacket* packet,
                GseLib::DataItems& items, const GseLib::CurrentValueTable* cvt) const override;
};

}  // namespace TarGse::TarDataInterpretationImpl
