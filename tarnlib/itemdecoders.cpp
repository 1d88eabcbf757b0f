#include <tarnlib/itemdecoders.h>

#include <gselib/datainterpretation.h>
#include <gselib/tmdatabaserow.h>
#include <gselib/tmpacket.h>

#include <cmath>
#include <stdexcept>

namespace TarGse::TarDataInterpretationImpl {

namespace {

// Rows that name each other (or themselves) must not recurse without end.
constexpr int MAX_NESTING = 4;
thread_local int nesting = 0;

class NestingGuard {
public:
    NestingGuard() { ++nesting; }
    ~NestingGuard() { --nesting; }
    bool tooDeep() const { return nesting > MAX_NESTING; }
};

/// The items of data ID id decoded on packet, each value replaced by its science value.
bool scienceItems(const GseLib::DataInterpretation* engine, uint64_t id,
                  const GseLib::TMPacket* packet, const GseLib::CurrentValueTable* cvt,
                  GseLib::DataItems& out) {
    if (!engine || id == 0 || id > uint64_t(INT32_MAX)) {
        return false;
    }
    if (!engine->decodePacket(int(id), packet, out, true, cvt)) {
        return false;
    }
    for (GseLib::DataItem& item : out) {
        bool ok = false;
        item.value = engine->convertValue(int(id), item.toDouble(), Gse::ValueMode::Sci, &ok);
    }
    return true;
}

}  // namespace

bool SebRfFreqDecoder::decode(const GseLib::TmDatabaseRow& row, const GseLib::TMPacket* packet,
                              GseLib::DataItems& items, const GseLib::CurrentValueTable*) const {
    const DataField data(*packet);
    uint64_t a = 0;
    uint64_t b = 0;
    GseLib::DataItem whereB;
    if (!itemValue(engine(), row.decode_id[0], data, a) ||
        !itemValue(engine(), row.decode_id[1], data, b, &whereB) || a == 0) {
        return true;
    }
    items.emplace_back(packet->unixTime(), packet->relativeTime(), whereB.byteOffset,
                       whereB.byteCount, 5000.0 * double(b) / double(a));
    return true;
}

bool ItemPairDecoder::decode(const GseLib::TmDatabaseRow& row, const GseLib::TMPacket* packet,
                             GseLib::DataItems& items, const GseLib::CurrentValueTable* cvt) const {
    const NestingGuard guard;
    if (guard.tooDeep()) {
        return false;
    }
    GseLib::DataItems a;
    GseLib::DataItems b;
    if (!scienceItems(engine(), row.decode_id[0], packet, cvt, a) ||
        !scienceItems(engine(), row.decode_id[1], packet, cvt, b)) {
        return true;
    }
    const size_t n = std::max(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const GseLib::DataItem& ai = a.size() >= b.size() ? a[i] : a[0];
        const GseLib::DataItem& bi = b.size() >= a.size() ? b[i] : b[0];
        const GseLib::DataItem& timing = a.size() >= b.size() ? ai : bi;
        double value = 0.0;
        if (combine(ai.toDouble(), bi.toDouble(), value)) {
            items.emplace_back(timing.unixTime, timing.relativeTime, timing.byteOffset,
                               timing.byteCount, value);
        }
    }
    return true;
}

bool SebFilamentResistance::combine(double a, double b, double& value) const {
    if (b == 0.0) {
        return false;
    }
    value = a / b;
    return true;
}

bool NormalizedRfPressure::combine(double a, double b, double& value) const {
    value = a * 293.0 / (b + 273.15);
    return true;
}

bool RoverBusPowerDecoder::decode(const GseLib::TmDatabaseRow& row, const GseLib::TMPacket* packet,
                                  GseLib::DataItems& items,
                                  const GseLib::CurrentValueTable* cvt) const {
    const NestingGuard guard;
    if (guard.tooDeep()) {
        return false;
    }
    GseLib::DataItems voltage;
    GseLib::DataItems current;
    if (!scienceItems(engine(), row.decode_id[0], packet, cvt, voltage) ||
        !scienceItems(engine(), row.decode_id[1], packet, cvt, current)) {
        return true;
    }
    items.emplace_back(packet->unixTime(), packet->relativeTime(), 0u, 0u,
                       voltage.front().toDouble() * current.front().toDouble());
    return true;
}

bool LaserHkDecoder::decode(const GseLib::TmDatabaseRow& row, const GseLib::TMPacket* packet,
                            GseLib::DataItems& items, const GseLib::CurrentValueTable* cvt) const {
    const DataField data(*packet);
    const FieldSpec spec = FieldSpec::of(row);
    if (!data.fits(spec.offset, spec.length)) {
        reportOutOfBounds(row, spec.offset, spec.length, data.length());
        return true;
    }
    const NestingGuard guard;
    long long periodSecs = 0;
    if (engine() && !guard.tooDeep()) {
        bool ok = false;
        const double ms =
            engine()->getValue(PERIOD_ITEM, packet, Gse::ValueMode::Sci, &ok, true, cvt);
        // Truncated to whole milliseconds, then to whole seconds; NaN or absurd values give 0.
        if (ok && std::isfinite(ms) && std::fabs(ms) < 9e18) {
            periodSecs = static_cast<long long>(ms) / 1000;
        }
    }
    const double dt = double(spec.offset) * 0.5 * double(periodSecs);
    items.emplace_back(packet->unixTime() + dt, packet->relativeTime() + dt,
                       packetOffset(spec.offset), uint32_t(spec.length), data.read(spec));
    return true;
}

}  // namespace TarGse::TarDataInterpretationImpl
