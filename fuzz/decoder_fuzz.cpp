// Fuzz target for the TARN custom decoders. The input is a small database and a list of
// packets: four rows (items 501, 502, 831 and 1094, which the decoders that read other items
// name), each a decoder type selector, a packet type and four 16-bit decode ids; then packets,
// each a type byte, a declared data length and a content length (16 bits each, 11 used) and
// that many data bytes, so that whole RSIM blocks and long MAIF packets occur; the declared
// length need not match the bytes, as in a damaged file. Every packet goes through every
// custom decoder with a row whose decode ids come from the input too. Nothing may crash, read
// outside a packet or recurse without end, and every item must lie inside its packet's bytes.

#include <gselib/secondstimeresolvers.h>
#include <gselib/tmdatabaserow.h>
#include <gselib/tompacket.h>
#include <tarnlib/tardatainterpretation.h>

#include <cstdlib>
#include <memory>

namespace {

constexpr int FIRST_TYPE = 203;
constexpr int LAST_TYPE = 250;
// Item rows point at custom decoders (each other included) or at the array decoders' slot,
// which this engine leaves empty.
constexpr uint32_t ITEM_IDS[] = {501, 502, 831, 1094};

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
    uint8_t byte() { return pos < size ? data[pos++] : 0; }
    uint16_t word() { return uint16_t((byte() << 8) | byte()); }
};

GseLib::TmDatabaseRow rowFrom(Reader& in, uint32_t id, uint32_t decodeType) {
    GseLib::TmDatabaseRow row;
    row.data_id = id;
    row.key = "FUZZ:" + QByteArray::number(id);
    row.packet_type = in.byte() & 0x7F;
    row.decode_type = decodeType;
    for (int i = 0; i < 4; ++i) {
        const uint16_t v = in.word();
        // Shifts may be "negative" (left shifts) once read as 32-bit numbers.
        row.decode_id[size_t(i)] = i == 3 && (v & 0x8000) ? ~0ull - (v & 0x7FFF) : v;
    }
    row.pkt_offsets = {uint32_t(row.decode_id[0])};
    row.byte_order = {2, 1};
    row.bit_shifts = {8, 0};
    return row;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static GseLib::UnixTimeResolver resolver;
    Reader in{data, size};
    TarGse::TarDataInterpretation engine;
    for (uint32_t id : ITEM_IDS) {
        const uint8_t selector = in.byte();
        const uint32_t type =
            selector < 200 ? FIRST_TYPE + selector % (LAST_TYPE - FIRST_TYPE + 1) : 1;
        engine.db()->addRow(rowFrom(in, id, type));
    }
    engine.loadDecoderPlugins(nullptr);
    const GseLib::TmDatabaseRow row = rowFrom(in, 4242, 0);

    uint32_t ticks = 0;
    int index = 0;
    while (in.pos + 5 <= size) {
        const uint8_t type = in.byte() & 0x7F;
        const uint16_t declared = in.word() & 0x07FF;
        const size_t n = std::min<size_t>(in.word() & 0x07FF, size - in.pos);
        ticks += type * 97u;
        GseLib::ByteVector b = {type,
                                0,
                                uint8_t(declared >> 8),
                                uint8_t(declared),
                                uint8_t(ticks >> 24),
                                uint8_t(ticks >> 16),
                                uint8_t(ticks >> 8),
                                uint8_t(ticks)};
        b.insert(b.end(), data + in.pos, data + in.pos + n);
        in.pos += n;
        const auto packet =
            std::make_shared<GseLib::TomPacket>(b.data(), int(b.size()), index++, &resolver);
        for (int t = FIRST_TYPE; t <= LAST_TYPE; ++t) {
            const GseLib::Decoder* decoder = engine.decoder(t);
            if (!decoder) {
                continue;
            }
            GseLib::DataItems items;
            try {
                decoder->decode(row, packet.get(), items, nullptr);
            } catch (const std::out_of_range&) {
                // Reads the engine itself reports as warnings; the decoders read nothing past
                // a packet, which the sanitizers check.
            }
            for (const GseLib::DataItem& item : items) {
                if (item.byteOffset > b.size() || item.byteCount > b.size() - item.byteOffset) {
                    std::abort();
                }
            }
        }
    }
    return 0;
}
