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
    /// Applied to the raw value before the pieces (the engineering unit's counts are mJ).
    double prescale;
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

// The energy decoders by calibration; the statistics types follow their sample type.
#define K814_LASER_ENERGY_DECODER(Name, type, calibration, reduction)                          \
    /** @brief Type type: laser energies, reduction. */                                        \
    class Name : public LaserEnergyDecoder {                                                   \
    public:                                                                                    \
        Name() : LaserEnergyDecoder(type, #Name, EnergyCalibration::calibration, reduction) {} \
    };

K814_LASER_ENERGY_DECODER(LaserEnergyUvEtuDecoder, 217, UV_ETU, Each)
K814_LASER_ENERGY_DECODER(LaserEnergyUvEtuCalibratedDecoder, 218, UV_ETU_CALIBRATED, Each)
K814_LASER_ENERGY_DECODER(LaserEnergyUvFlightDecoder, 219, UV_FLIGHT, Each)
K814_LASER_ENERGY_DECODER(LaserEnergyUvEtuAvgDecoder, 231, UV_ETU_CALIBRATED, Avg)
K814_LASER_ENERGY_DECODER(LaserEnergyUvEtuMinDecoder, 232, UV_ETU_CALIBRATED, Min)
K814_LASER_ENERGY_DECODER(LaserEnergyUvEtuMaxDecoder, 233, UV_ETU_CALIBRATED, Max)
K814_LASER_ENERGY_DECODER(LaserEnergyUvEtuStdDevDecoder, 234, UV_ETU_CALIBRATED, StdDev)
K814_LASER_ENERGY_DECODER(LaserEnergyUvFlightAvgDecoder, 237, UV_FLIGHT, Avg)
K814_LASER_ENERGY_DECODER(LaserEnergyUvFlightMinDecoder, 238, UV_FLIGHT, Min)
K814_LASER_ENERGY_DECODER(LaserEnergyUvFlightMaxDecoder, 239, UV_FLIGHT, Max)
K814_LASER_ENERGY_DECODER(LaserEnergyUvFlightStdDevDecoder, 240, UV_FLIGHT, StdDev)
K814_LASER_ENERGY_DECODER(LaserEnergyUvFlightSpareDecoder, 242, UV_FLIGHT_SPARE, Each)
K814_LASER_ENERGY_DECODER(LaserEnergyUvFlightSpareAvgDecoder, 243, UV_FLIGHT_SPARE, Avg)
K814_LASER_ENERGY_DECODER(LaserEnergyUvFlightSpareMinDecoder, 244, UV_FLIGHT_SPARE, Min)
K814_LASER_ENERGY_DECODER(LaserEnergyUvFlightSpareMaxDecoder, 245, UV_FLIGHT_SPARE, Max)
K814_LASER_ENERGY_DECODER(LaserEnergyUvFlightSpareStdDevDecoder, 246, UV_FLIGHT_SPARE, StdDev)

#undef K814_LASER_ENERGY_DECODER

}  // namespace TarGse::TarDataInterpretationImpl
