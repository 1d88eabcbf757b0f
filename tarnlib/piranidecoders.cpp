#include <tarnlib/piranidecoders.h>

#include <gselib/tmdatabaserow.h>
#include <gselib/tmpacket.h>

#include <algorithm>
#include <cmath>

namespace TarGse::TarDataInterpretationImpl {

bool MicroPiraniRecordDecoder::decode(const GseLib::TmDatabaseRow& row,
                                      const GseLib::TMPacket* packet, GseLib::DataItems& items,
                                      const GseLib::CurrentValueTable*) const {
    const DataField data(*packet);
    const FieldSpec spec = FieldSpec::of(row);
    const uint64_t records =
        data.length() < 4 ? 0
                          : std::min<uint64_t>(data.be16(0), (data.length() - 4) / RECORD_BYTES);
    const double unix0 = packet->unixTime();
    const double relative0 = packet->relativeTime();

    uint64_t steps = 0;  // accumulated time steps, in 0.1 ms
    uint64_t read = 0;
    float sum = 0.0f;  // in single precision, as the gauge's software sums
    EarliestExtreme<float> extreme(reduction_ == Hi);
    uint64_t bestSteps = 0;
    uint64_t bestAt = spec.offset;
    for (; read < records; ++read) {
        const uint64_t at = spec.offset + RECORD_BYTES * read;
        if (!data.fits(at, spec.length)) {
            reportOutOfBounds(row, at, spec.length, data.length());
            break;
        }
        steps += data.be16(4 + RECORD_BYTES * read);
        const uint64_t raw = data.read(spec.at(at));
        const float v = float(raw);
        switch (reduction_) {
            case Each: {
                const double dt = double(steps) * 0.0001;
                items.emplace_back(unix0 + dt, relative0 + dt, packetOffset(at),
                                   uint32_t(spec.length), double(raw));
                break;
            }
            case Avg:
                sum += v;
                break;
            case Hi:
            case Lo:
                // The first record stands at the packet's own time, not after its step.
                if (extreme.offer(v)) {
                    bestSteps = read == 0 ? 0 : steps;
                    bestAt = at;
                }
                break;
        }
    }
    if (reduction_ == Each) {
        return true;
    }
    if (reduction_ == Avg) {
        if (read == 0) {
            return true;
        }
        const double dt = double(steps) * 0.0001 * 0.5;
        // Truncated toward zero as an unsigned integer would hold it; fields wider than 32
        // bits keep their magnitude instead of wrapping.
        const float mean = sum / float(read);
        items.emplace_back(unix0 + dt, relative0 + dt, packetOffset(spec.offset),
                           uint32_t(spec.length), std::trunc(double(mean)));
        return true;
    }
    if (read == 0) {
        // Nothing read: a zero at the packet's time, from no bytes of the packet.
        items.emplace_back(unix0, relative0, 0u, 0u, 0.0);
        return true;
    }
    const double dt = double(bestSteps) * 0.0001;
    items.emplace_back(unix0 + dt, relative0 + dt, packetOffset(bestAt), uint32_t(spec.length),
                       double(extreme.best()));
    return true;
}

namespace {

/// A bridge reading: the field as read, its two low bytes swapped (the gauge sends them
/// little-endian).
double bridgeReading(const DataField& data, const FieldSpec& spec) {
    const uint64_t r = data.read(spec);
    return double(((r & 0xFF) << 8) | ((r >> 8) & 0xFF));
}

}  // namespace

bool MicroPiraniAlgorithmDecoder::decode(const GseLib::TmDatabaseRow& row,
                                         const GseLib::TMPacket* packet, GseLib::DataItems& items,
                                         const GseLib::CurrentValueTable*) const {
    const DataField data(*packet);
    const FieldSpec spec = FieldSpec::of(row);
    constexpr uint64_t REFERENCE = 81;
    if (!data.fits(spec.offset, spec.length) || !data.fits(REFERENCE, spec.length)) {
        return true;
    }
    // The reference bridge sets the ambient temperature T0 (the root of the sensor's quadratic
    // resistance curve) and the conductance constant k.
    const double v0 = bridgeReading(data, spec.at(REFERENCE)) * 7.629e-05 / 8.071 + 0.95;
    const double r0 = 7500.0 * v0 / (2.7001 - v0);
    const double t0 = (std::sqrt(14.2103365156 - 4 * 0.05841 * (1376.35 - r0)) - 3.76966) / 0.11682;
    const double k = 0.004616294391145 / std::sqrt(t0);
    const double t0Fourth = std::pow(t0, 4);

    const double unix0 = packet->unixTime();
    const double relative0 = packet->relativeTime();
    uint64_t at = spec.offset;
    for (int i = 0; i < MAX_SAMPLES && data.fits(at, spec.length); ++i) {
        const double v = bridgeReading(data, spec.at(at)) * 7.629e-05 / 8.041 + v0;
        const double r = 7500.0 * v / (2.7001 - v);
        const double t =
            (std::sqrt(20.4758965009 - 4 * 0.05785 * (1364.47 - r)) - 4.52503) / 0.1157;
        const double dT = t - t0;
        const double value =
            1000.0 * (v * v / r - (7.46e-07 * dT + 4.52350332e-15 * (std::pow(t, 4) - t0Fourth))) /
            (k * dT);
        const double dt = 0.01 * i;
        items.emplace_back(unix0 + dt, relative0 + dt, packetOffset(at), uint32_t(spec.length),
                           value);
        at += i < 14 ? 8 : 4;
    }
    return true;
}

}  // namespace TarGse::TarDataInterpretationImpl
