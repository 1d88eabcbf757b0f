#include <tarnlib/sciencedecoders.h>

#include <gselib/tmdatabaserow.h>
#include <gselib/tompacket.h>
#include <tarnlib/scandata.h>
#include <tarnlib/tartelemetrycache.h>

namespace TarGse::TarDataInterpretationImpl {

bool AggregatedSciPacketDecoder::decode(const GseLib::TmDatabaseRow& row,
                                        const GseLib::TMPacket* packet, GseLib::DataItems& items,
                                        const GseLib::CurrentValueTable*) const {
    const DataField data(*packet);
    const FieldSpec spec = FieldSpec::of(row);
    const uint64_t segments = data.be16(2);
    // Bins of the counts block: what the descriptors and header leave, 2 bytes a bin in summed
    // packets. The first segment starts that many bins before the packet's time.
    const int64_t left = int64_t(data.length()) - int64_t(DESCRIPTOR_BYTES * segments) - 4;
    const int64_t bins = packet->type() == 27 ? left / 2 : left;
    const double period = TarTelemetryCache::ip_;
    const double unix0 = packet->unixTime();
    const double relative0 = packet->relativeTime();
    for (uint64_t i = 0; i < segments; ++i) {
        const uint64_t at = spec.offset + DESCRIPTOR_BYTES * i;
        if (!data.fits(at, spec.length)) {
            reportOutOfBounds(row, at, spec.length, data.length());
            break;
        }
        const double dt = double(100 * int64_t(i) - bins) * period;
        items.emplace_back(unix0 + dt, relative0 + dt, packetOffset(at), uint32_t(spec.length),
                           data.read(spec.at(at)));
    }
    return true;
}

bool SumPacketTotalIonCountDecoder::decode(const GseLib::TmDatabaseRow&,
                                           const GseLib::TMPacket* packet, GseLib::DataItems& items,
                                           const GseLib::CurrentValueTable*) const {
    // The scan keeps the packet it was built from; a packet the caller does not share gets a
    // view over the same bytes.
    std::shared_ptr<GseLib::TMPacket> shared =
        std::const_pointer_cast<GseLib::TMPacket>(packet->weak_from_this().lock());
    if (!shared) {
        shared = std::make_shared<GseLib::TomPacket>(packet->bytes(), packet->index(),
                                                     packet->timeResolver());
    }
    const ScanData scan(shared, {}, false, TARN::FirstPacket);
    items.emplace_back(packet->unixTime(), packet->relativeTime(), packetOffset(0),
                       uint32_t(DataField(*packet).length()), scan.ionCount(0, 0));
    return true;
}

}  // namespace TarGse::TarDataInterpretationImpl
