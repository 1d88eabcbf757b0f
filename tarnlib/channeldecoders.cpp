#include <tarnlib/channeldecoders.h>

#include <gselib/tmdatabaserow.h>
#include <gselib/tmpacket.h>

namespace TarGse::TarDataInterpretationImpl {

bool GcPacketDecoder::decode(const GseLib::TmDatabaseRow& row, const GseLib::TMPacket* packet,
                             GseLib::DataItems& items, const GseLib::CurrentValueTable*) const {
    const DataField data(*packet);
    const FieldSpec spec = FieldSpec::of(row);
    const uint64_t start = spec.offset;
    const uint64_t channel = spec.length;  // decode_id[1] names the channel here
    for (int k = 0; k < RECORDS; ++k) {
        const uint64_t at = start + RECORD_BYTES * uint64_t(k);
        if (!data.fits(at, 3)) {
            reportOutOfBounds(row, at, 3, data.length());
            break;
        }
        if (data.byte(at) != channel) {
            continue;
        }
        uint64_t v = spec.apply(data.be16(at + 1)) & 0xFFFF;
        if (start == 44) {
            v |= uint64_t(data.byte(at)) << 16;
        }
        const double dt = -1.0 + 0.05 * k;
        items.emplace_back(packet->unixTime() + dt, packet->relativeTime() + dt,
                           packetOffset(at + 1), 2u, double(v));
    }
    return true;
}

bool SebAdcValueDecoder::decode(const GseLib::TmDatabaseRow& row, const GseLib::TMPacket* packet,
                                GseLib::DataItems& items, const GseLib::CurrentValueTable*) const {
    const DataField data(*packet);
    const uint64_t channel = row.decode_id.empty() ? 0 : row.decode_id[0];
    if (!data.fits(SPACING_BYTE, 1)) {
        reportOutOfBounds(row, SPACING_BYTE, 1, data.length());
        return true;
    }
    const double spacing = data.byte(SPACING_BYTE) / 1000.0;
    for (int i = 0; i < ENTRIES; ++i) {
        const uint64_t at = 6 + 3 * uint64_t(i);
        if (data.byte(at) != channel) {
            continue;
        }
        const double dt = (i - ENTRIES) * spacing;
        items.emplace_back(packet->unixTime() + dt, packet->relativeTime() + dt,
                           packetOffset(at + 1), 2u, double(data.be16(at + 1)));
    }
    return true;
}

}  // namespace TarGse::TarDataInterpretationImpl
