#include <tarnlib/rsimdecoders.h>

#include <gselib/tmdatabaserow.h>
#include <gselib/tmpacket.h>

namespace TarGse::TarDataInterpretationImpl {

bool RsimBlockDecoder::decode(const GseLib::TmDatabaseRow& row, const GseLib::TMPacket* packet,
                              GseLib::DataItems& items, const GseLib::CurrentValueTable*) const {
    const DataField data(*packet);
    const FieldSpec spec = FieldSpec::of(row);
    const double unix0 = packet->unixTime() - 1.0;
    const double relative0 = packet->relativeTime() - 1.0;

    // One walk for every reduction: the samples are 16-bit, 2 bytes apart, whatever the row's
    // length says, so the row only contributes offset, mask and shift.
    FieldSpec sample = spec;
    sample.length = 2;
    int read = 0;
    int best = 0;
    EarliestExtreme<uint64_t> extreme(reduction_ == Max);
    RunningStats stats;
    for (; read < SAMPLES; ++read) {
        const uint64_t at = spec.offset + 2 * uint64_t(read);
        if (!data.fits(at, 2)) {
            reportOutOfBounds(row, at, 2, data.length());
            break;
        }
        const uint64_t v = data.read(sample.at(at));
        const double dt = read * 0.001;
        switch (reduction_) {
            case Each:
                items.emplace_back(unix0 + dt, relative0 + dt, packetOffset(at), 2u, double(v));
                break;
            case Min:
            case Max:
                if (extreme.offer(v)) {
                    best = read;
                }
                break;
            case Avg:
                stats.add(double(v));
                break;
        }
    }
    if (read == 0 || reduction_ == Each) {
        return true;
    }
    if (reduction_ == Avg) {
        items.emplace_back(unix0 + 0.5, relative0 + 0.5, packetOffset(spec.offset),
                           uint32_t(2 * read), stats.mean());
    } else {
        const double dt = best * 0.001;
        items.emplace_back(unix0 + dt, relative0 + dt,
                           packetOffset(spec.offset + 2 * uint64_t(best)), 2u,
                           double(extreme.best()));
    }
    return true;
}

bool RsimBusPowerDecoder::decode(const GseLib::TmDatabaseRow& row, const GseLib::TMPacket* packet,
                                 GseLib::DataItems& items, const GseLib::CurrentValueTable*) const {
    const DataField data(*packet);
    const FieldSpec first = FieldSpec::of(row);
    if (first.offset > UINT64_MAX - gap_) {
        reportOutOfBounds(row, first.offset, first.length, data.length());
        return false;
    }
    const FieldSpec second = first.at(first.offset + gap_);
    for (const FieldSpec* f : {&first, &second}) {
        if (!data.fits(f->offset, f->length)) {
            reportOutOfBounds(row, f->offset, f->length, data.length());
            return false;
        }
    }
    const double power = double(data.readFloat(first)) * double(data.readFloat(second));
    items.emplace_back(packet->unixTime() - 0.5, packet->relativeTime() - 0.5,
                       packetOffset(first.offset), uint32_t(gap_ + first.length), power);
    return true;
}

}  // namespace TarGse::TarDataInterpretationImpl
