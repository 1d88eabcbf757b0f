#pragma once

// The laser sample decoders: pulse times and registers, calibrated energies and their
// statistics. They share one walk over a packet's 16-byte samples, so they live together.

#include <tarnlib/tarndecoder.h>

#include <array>

namespace TarGse::TarDataInterpretationImpl {

/// One laser sample as the walk finds it: raw field, gain and range selectors, tick value.
struct LaserSample {
    uint64_t raw = 0;
    int gain = 0;
    int range = 0;
    uint32_t ticks = 0;
    uint64_t offset = 0;
};

/**
 * @brief Walks the samples of a laser packet: the count at data bytes 0-1, sample i's field at
 * the row's offset + 16 i and its 32-bit tick value at data bytes 4 + 16 i.
 */
class LaserSampleDecoder : public TarnDecoder {
public:
    static constexpr uint64_t SAMPLE_BYTES = 16;

    using TarnDecoder::TarnDecoder;

protected:
    /// Calls visit(sample) for every sample that lies inside the data field; reports the first
    /// that does not and stops there.
    template <class Visit>
    void walk(const GseLib::TmDatabaseRow& row, const GseLib::TMPacket& packet,
              Visit&& visit) const;
};

/// @brief Types 215 and 216: pulse times (the field read as ticks) or raw register values.
class LaserPulseDecoder : public LaserSampleDecoder {
public:
    LaserPulseDecoder(int type, const char* name, bool fieldIsTime)
        : LaserSampleDecoder(type, name), fieldIsTime_(fieldIsTime) {}
    bool decode(const GseLib::TmDatabaseRow& row, const GseLib::TMPacket* packet,
                GseLib::DataItems& items, const GseLib::CurrentValueTable* cvt) const override;

private:
    bool fieldIsTime_;
};

/// @brief Type 215: the field's value, timed as the ticks it holds.
class LaserPulseTimeDecoder : public LaserPulseDecoder {
public:
    LaserPulseTimeDecoder() : LaserPulseDecoder(215, "LaserPulseTimeDecoder", true) {}
};
/// @brief Type 216: the raw field, timed by the sample's tick value.
class LaserPulseRegsDecoder : public LaserPulseDecoder {
public:
    LaserPulseRegsDecoder() : LaserPulseDecoder(216, "LaserPulseRegsDecoder", false) {}
};

/**
 * @brief A laser energy calibration: linear pieces selected by the gain G (bits 12-13) and
 * range R (bits 14-15) of the field; other selections pass the value through.
 */
struct EnergyCalibration {
    struct Piece {
        int gain;
        int range;
        double slope;
        double intercept;
    };
    /// Divides the raw value before the pieces (1000 for the engineering unit: x / 1000, which
    /// multiplying by 0.001 would miss in the last bit for some values).
    double divisor;
    std::array<Piece, 3> pieces;

    double apply(uint64_t raw, int gain, int range) const;

    static const EnergyCalibration UV_ETU;
    static const EnergyCalibration UV_ETU_CALIBRATED;
    static const EnergyCalibration UV_FLIGHT;
    static const EnergyCalibration UV_FLIGHT_SPARE;
};

/**
 * @brief Calibrated energies of a packet's samples: every sample, or one reduction of them
 * (mean, minimum, maximum, population standard deviation), nothing without samples.
 */
class LaserEnergyDecoder : public LaserSampleDecoder {
public:
    enum Reduction { Each, Avg, Min, Max, StdDev };

    LaserEnergyDecoder(int type, const char* name, const EnergyCalibration& calibration,
                       Reduction reduction)
        : LaserSampleDecoder(type, name), calibration_(calibration), reduction_(reduction) {}
    bool decode(const GseLib::TmDatabaseRow& row, const GseLib::TMPacket* packet,
                GseLib::DataItems& items, const GseLib::CurrentValueTable* cvt) const override;

private:
    const EnergyCalibration& calibration_;
    Reduction reduction_;
};

// The energy decoders by laser; the statistics reduce the energies of their sample type.

/// @brief Type 217: every sample of the engineering-unit UV laser energies (raw values / 1000).
class LaserEnergyUvEtuDecoder : public LaserEnergyDecoder {
public:
    LaserEnergyUvEtuDecoder()
        : LaserEnergyDecoder(217, "LaserEnergyUvEtuDecoder", EnergyCalibration::UV_ETU, Each) {}
};

/// @brief Type 218: every sample of the engineering-unit UV laser, calibrated energies.
class LaserEnergyUvEtuCalibratedDecoder : public LaserEnergyDecoder {
public:
    LaserEnergyUvEtuCalibratedDecoder()
        : LaserEnergyDecoder(218, "LaserEnergyUvEtuCalibratedDecoder",
                             EnergyCalibration::UV_ETU_CALIBRATED, Each) {}
};

/// @brief Type 219: every sample of the flight UV laser energies.
class LaserEnergyUvFlightDecoder : public LaserEnergyDecoder {
public:
    LaserEnergyUvFlightDecoder()
        : LaserEnergyDecoder(219, "LaserEnergyUvFlightDecoder", EnergyCalibration::UV_FLIGHT,
                             Each) {}
};

/// @brief Type 231: the mean of the engineering-unit UV laser, calibrated energies.
class LaserEnergyUvEtuAvgDecoder : public LaserEnergyDecoder {
public:
    LaserEnergyUvEtuAvgDecoder()
        : LaserEnergyDecoder(231, "LaserEnergyUvEtuAvgDecoder",
                             EnergyCalibration::UV_ETU_CALIBRATED, Avg) {}
};

/// @brief Type 232: the minimum of the engineering-unit UV laser, calibrated energies.
class LaserEnergyUvEtuMinDecoder : public LaserEnergyDecoder {
public:
    LaserEnergyUvEtuMinDecoder()
        : LaserEnergyDecoder(232, "LaserEnergyUvEtuMinDecoder",
                             EnergyCalibration::UV_ETU_CALIBRATED, Min) {}
};

/// @brief Type 233: the maximum of the engineering-unit UV laser, calibrated energies.
class LaserEnergyUvEtuMaxDecoder : public LaserEnergyDecoder {
public:
    LaserEnergyUvEtuMaxDecoder()
        : LaserEnergyDecoder(233, "LaserEnergyUvEtuMaxDecoder",
                             EnergyCalibration::UV_ETU_CALIBRATED, Max) {}
};

/// @brief Type 234: the population standard deviation of the engineering-unit UV laser, calibrated
/// energies.
class LaserEnergyUvEtuStdDevDecoder : public LaserEnergyDecoder {
public:
    LaserEnergyUvEtuStdDevDecoder()
        : LaserEnergyDecoder(234, "LaserEnergyUvEtuStdDevDecoder",
                             EnergyCalibration::UV_ETU_CALIBRATED, StdDev) {}
};

/// @brief Type 237: the mean of the flight UV laser energies.
class LaserEnergyUvFlightAvgDecoder : public LaserEnergyDecoder {
public:
    LaserEnergyUvFlightAvgDecoder()
        : LaserEnergyDecoder(237, "LaserEnergyUvFlightAvgDecoder", EnergyCalibration::UV_FLIGHT,
                             Avg) {}
};

/// @brief Type 238: the minimum of the flight UV laser energies.
class LaserEnergyUvFlightMinDecoder : public LaserEnergyDecoder {
public:
    LaserEnergyUvFlightMinDecoder()
        : LaserEnergyDecoder(238, "LaserEnergyUvFlightMinDecoder", EnergyCalibration::UV_FLIGHT,
                             Min) {}
};

/// @brief Type 239: the maximum of the flight UV laser energies.
class LaserEnergyUvFlightMaxDecoder : public LaserEnergyDecoder {
public:
    LaserEnergyUvFlightMaxDecoder()
        : LaserEnergyDecoder(239, "LaserEnergyUvFlightMaxDecoder", EnergyCalibration::UV_FLIGHT,
                             Max) {}
};

/// @brief Type 240: the population standard deviation of the flight UV laser energies.
class LaserEnergyUvFlightStdDevDecoder : public LaserEnergyDecoder {
public:
    LaserEnergyUvFlightStdDevDecoder()
        : LaserEnergyDecoder(240, "LaserEnergyUvFlightStdDevDecoder", EnergyCalibration::UV_FLIGHT,
                             StdDev) {}
};

/// @brief Type 242: every sample of the flight spare UV laser energies.
class LaserEnergyUvFlightSpareDecoder : public LaserEnergyDecoder {
public:
    LaserEnergyUvFlightSpareDecoder()
        : LaserEnergyDecoder(242, "LaserEnergyUvFlightSpareDecoder",
                             EnergyCalibration::UV_FLIGHT_SPARE, Each) {}
};

/// @brief Type 243: the mean of the flight spare UV laser energies.
class LaserEnergyUvFlightSpareAvgDecoder : public LaserEnergyDecoder {
public:
    LaserEnergyUvFlightSpareAvgDecoder()
        : LaserEnergyDecoder(243, "LaserEnergyUvFlightSpareAvgDecoder",
                             EnergyCalibration::UV_FLIGHT_SPARE, Avg) {}
};

/// @brief Type 244: the minimum of the flight spare UV laser energies.
class LaserEnergyUvFlightSpareMinDecoder : public LaserEnergyDecoder {
public:
    LaserEnergyUvFlightSpareMinDecoder()
        : LaserEnergyDecoder(244, "LaserEnergyUvFlightSpareMinDecoder",
                             EnergyCalibration::UV_FLIGHT_SPARE, Min) {}
};

/// @brief Type 245: the maximum of the flight spare UV laser energies.
class LaserEnergyUvFlightSpareMaxDecoder : public LaserEnergyDecoder {
public:
    LaserEnergyUvFlightSpareMaxDecoder()
        : LaserEnergyDecoder(245, "LaserEnergyUvFlightSpareMaxDecoder",
                             EnergyCalibration::UV_FLIGHT_SPARE, Max) {}
};

/// @brief Type 246: the population standard deviation of the flight spare UV laser energies.
class LaserEnergyUvFlightSpareStdDevDecoder : public LaserEnergyDecoder {
public:
    LaserEnergyUvFlightSpareStdDevDecoder()
        : LaserEnergyDecoder(246, "LaserEnergyUvFlightSpareStdDevDecoder",
                             EnergyCalibration::UV_FLIGHT_SPARE, StdDev) {}
};

}  // namespace TarGse::TarDataInterpretationImpl
