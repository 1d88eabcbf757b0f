#pragma once

// The MAIF decoders: single samples, the pressure and current blocks and the one-minute block.
// They share one rule for the base time of a packet's samples, so they live together.

#include <tarnlib/tarndecoder.h>

#include <cstdint>
#include <span>

namespace GseLib {
class DataInterpretation;
}

namespace TarGse {

/// The MAIF packet's own timestamp: the little-endian 16-bit value at data bytes 3-4 / 32000.0;
/// 0.0 when the data field is shorter.
double extractMaifTimestampSecs(std::span<const uint8_t> data);

/// Bits 8-15 of the field that database item 831 defines, read from the data field with the
/// item's bit definition; 0 when the engine has no such item or the field lies past the data.
uint32_t getMaifFpgaVersion(std::span<const uint8_t> data,
                            const GseLib::DataInterpretation* engine);

namespace TarDataInterpretationImpl {

/// Where a packet's samples start and the time of that start, relative to the packet.
struct MaifBase {
    uint64_t start = 3;
    double seconds = -1.0;
};

/**
 * @brief The base-time rule: long packets (data length 469 or more) of an FPGA that stamps
 * its samples (item 831 under mask 0xFC00 above 0x2B00) start at data byte 5 at minus their
 * own timestamp; all others at byte 3, one second before the packet.
 */
MaifBase maifBase(const DataField& data, const GseLib::DataInterpretation* engine);

/// @brief Type 207: one little-endian sample, timed by its place among the samples.
class MaifDecoder : public TarnDecoder {
public:
    MaifDecoder() : TarnDecoder(207, "MaifDecoder") {}
    bool decode(const GseLib::TmDatabaseRow& row, const GseLib::TMPacket* packet,
                GseLib::DataItems& items, const GseLib::CurrentValueTable* cvt) const override;
};

/**
 * @brief A block of little-endian samples 0.01 s apart whose spacing in bytes changes after
 * the first steps.
 */
class MaifBlockDecoder : public TarnDecoder {
public:
    /// Samples, the byte step of the first earlySteps steps, of the one after them and of all
    /// later ones.
    struct Layout {
        int samples;
        int earlySteps;
        uint64_t earlyGap;
        uint64_t turnGap;
        uint64_t lateGap;
    };

    MaifBlockDecoder(int type, const char* name, Layout layout)
        : TarnDecoder(type, name), layout_(layout) {}
    bool decode(const GseLib::TmDatabaseRow& row, const GseLib::TMPacket* packet,
                GseLib::DataItems& items, const GseLib::CurrentValueTable* cvt) const override;

protected:
    /// Time of the first sample relative to the packet.
    virtual double firstSampleTime(const FieldSpec& spec, const DataField& data) const = 0;

private:
    Layout layout_;
};

/// @brief Type 208: 100 pressure samples, the first timed by its place among the samples.
class MaifPressureDecoder : public MaifBlockDecoder {
public:
    MaifPressureDecoder() : MaifBlockDecoder(208, "MaifPressureDecoder", {100, 14, 8, 4, 4}) {}

protected:
    double firstSampleTime(const FieldSpec& spec, const DataField& data) const override;
};

/// @brief Type 209: 100 current samples from the base time.
class MaifCurrentDecoder : public MaifBlockDecoder {
public:
    MaifCurrentDecoder() : MaifBlockDecoder(209, "MaifCurrentDecoder", {100, 14, 8, 6, 4}) {}

protected:
    double firstSampleTime(const FieldSpec& spec, const DataField& data) const override;
};

/// @brief Type 210: 6000 samples 2 bytes apart covering the minute before the packet.
class Maif1MinDecoder : public MaifBlockDecoder {
public:
    Maif1MinDecoder() : MaifBlockDecoder(210, "Maif1MinDecoder", {6000, 0, 2, 2, 2}) {}

protected:
    double firstSampleTime(const FieldSpec& spec, const DataField& data) const override;
};

}  // namespace TarDataInterpretationImpl
}  // namespace TarGse
