#include <tarnlib/laserdecoders.h>

#include <gselib/tmdatabaserow.h>
#include <gselib/tmpacket.h>

namespace TarGse::TarDataInterpretationImpl {

template <class Visit>
void LaserSampleDecoder::walk(const GseLib::TmDatabaseRow& row, const GseLib::TMPacket& packet,
                              Visit&& visit) const {
    const DataField data(packet);
    const FieldSpec spec = FieldSpec::of(row);
    // The selectors are read from the same field under their own masks, with the row's shift.
    FieldSpec gainSpec = spec;
    gainSpec.mask = 0x3000;
    FieldSpec rangeSpec = spec;
    rangeSpec.mask = 0xC000;
    const uint64_t count = data.be16(0);
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t at = spec.offset + SAMPLE_BYTES * i;
        if (!data.fits(at, spec.length)) {
            reportOutOfBounds(row, at, spec.length, data.length());
            return;
        }
        LaserSample s;
        s.raw = data.read(spec.at(at));
        s.gain = int((data.read(gainSpec.at(at)) >> 12) & 3);
        s.range = int((data.read(rangeSpec.at(at)) >> 14) & 3);
        s.ticks = data.be32(4 + SAMPLE_BYTES * i);
        s.offset = at;
        visit(s);
    }
}

bool LaserPulseDecoder::decode(const GseLib::TmDatabaseRow& row, const GseLib::TMPacket* packet,
                               GseLib::DataItems& items, const GseLib::CurrentValueTable*) const {
    const auto length = uint32_t(FieldSpec::of(row).length);
    walk(row, *packet, [&](const LaserSample& s) {
        const long long ticks = fieldIsTime_ ? static_cast<long long>(s.raw) : s.ticks;
        items.emplace_back(packet->unixTimeFromTicks(ticks), packet->relativeTimeFromTicks(ticks),
                           packetOffset(s.offset), length, s.raw);
    });
    return true;
}

double EnergyCalibration::apply(uint64_t raw, int gain, int range) const {
    const double x = double(raw) / divisor;
    for (const Piece& p : pieces) {
        if (p.gain == gain && p.range == range) {
            return p.slope * x + p.intercept;
        }
    }
    return x;
}

const EnergyCalibration EnergyCalibration::UV_ETU = {
    1000.0, {{{0, 1, 80.71406, -12.0076}, {1, 1, 29.82948, -2.65053}, {1, 0, 19.81893, -0.87182}}}};
const EnergyCalibration EnergyCalibration::UV_ETU_CALIBRATED = {
    1.0, {{{0, 1, 0.0836, 0.0}, {1, 1, 0.0323, 0.0}, {1, 0, 0.0215, 0.0}}}};
const EnergyCalibration EnergyCalibration::UV_FLIGHT = {
    1.0, {{{0, 0, 0.05045, -0.79244}, {1, 0, 0.01966, 0.26179}, {3, 0, 0.00701, 0.43667}}}};
const EnergyCalibration EnergyCalibration::UV_FLIGHT_SPARE = {
    1.0, {{{0, 0, 0.05619, -0.08587}, {1, 0, 0.02205, 0.462}, {3, 0, 0.008, 0.45496}}}};

bool LaserEnergyDecoder::decode(const GseLib::TmDatabaseRow& row, const GseLib::TMPacket* packet,
                                GseLib::DataItems& items, const GseLib::CurrentValueTable*) const {
    const auto length = uint32_t(FieldSpec::of(row).length);
    const auto itemOf = [&](const LaserSample& s, double value) {
        return GseLib::DataItem(packet->unixTimeFromTicks(s.ticks),
                                packet->relativeTimeFromTicks(s.ticks), packetOffset(s.offset),
                                length, value);
    };
    if (reduction_ == Each) {
        walk(row, *packet, [&](const LaserSample& s) {
            items.push_back(itemOf(s, calibration_.apply(s.raw, s.gain, s.range)));
        });
        return true;
    }
    // One pass keeps the first sample, the extreme and the moments.
    LaserSample first;
    LaserSample extremeSample;
    EarliestExtreme<double> extreme(reduction_ == Max);
    RunningStats stats;
    walk(row, *packet, [&](const LaserSample& s) {
        const double e = calibration_.apply(s.raw, s.gain, s.range);
        if (stats.count() == 0) {
            first = s;
        }
        if (extreme.offer(e)) {
            extremeSample = s;
        }
        stats.add(e);
    });
    if (stats.count() == 0) {
        return true;
    }
    switch (reduction_) {
        case Avg:
            items.push_back(itemOf(first, stats.mean()));
            break;
        case StdDev:
            items.push_back(itemOf(first, stats.populationStdDev()));
            break;
        default:
            items.push_back(itemOf(extremeSample, extreme.best()));
            break;
    }
    return true;
}

}  // namespace TarGse::TarDataInterpretationImpl
