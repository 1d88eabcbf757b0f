#include <tarnlib/tarndecoder.h>

#include <gselib/datainterpretation.h>
#include <gselib/tmdatabase.h>
#include <gselib/tmdatabaserow.h>
#include <gselib/tmpacket.h>
#include <tools/logger/diagnostics.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <iostream>
#include <sstream>
#include <string>

namespace TarGse::TarDataInterpretationImpl {

FieldSpec FieldSpec::of(const GseLib::TmDatabaseRow& row) {
    FieldSpec s;
    s.offset = row.decode_id.size() > 0 ? row.decode_id[0] : 0;
    s.length = row.decode_id.size() > 1 ? row.decode_id[1] : 0;
    s.mask = row.decode_id.size() > 2 ? row.decode_id[2] : 0;
    s.shift = row.decode_id.size() > 3 ? static_cast<int32_t>(row.decode_id[3]) : 0;
    return s;
}

uint64_t FieldSpec::apply(uint64_t raw) const {
    uint64_t v = raw & (mask ? mask : ~0ull);
    if (shift >= 0) {
        return v >> (static_cast<uint32_t>(shift) % 64);
    }
    return v << (static_cast<uint32_t>(-static_cast<int64_t>(shift)) % 64);
}

DataField::DataField(const GseLib::TMPacket& packet) {
    const GseLib::ByteVectorPtr& bytes = packet.bytes();
    const int offset = packet.dataOffset();
    if (!bytes || offset < 0 || bytes->size() <= size_t(offset)) {
        return;
    }
    // The header holds the data length; a packet cut short is read only as far as it goes.
    const int declared = packet.dataLength();
    const uint64_t present = bytes->size() - size_t(offset);
    data_ = bytes->data() + offset;
    length_ = std::min<uint64_t>(uint64_t(std::max(declared, 0)), present);
    packet_ = &packet;
}

bool itemValue(const GseLib::DataInterpretation* engine, uint64_t id, const DataField& data,
               uint64_t& value, GseLib::DataItem* where) {
    if (!engine || !engine->db() || id > UINT32_MAX || !engine->db()->contains(uint32_t(id))) {
        return false;
    }
    const GseLib::TmDatabaseRow& row = engine->db()->row(uint32_t(id));
    // Only the generic decoders read a field: a custom row named here would decode a packet of
    // its own kind, and could name this one back.
    const GseLib::Decoder* decoder =
        row.decode_type < TarnDecoder::FIRST_TYPE ? engine->decoder(int(row.decode_type)) : nullptr;
    if (data.packet() && decoder) {
        GseLib::DataItems items;
        try {
            decoder->decode(row, data.packet(), items, nullptr);
        } catch (const std::exception&) {
            return false;
        }
        if (items.empty()) {
            return false;
        }
        const double v = items.front().toDouble();
        if (!(v >= 0.0) || v >= 18446744073709551616.0) {
            return false;
        }
        value = uint64_t(v);
        if (where) {
            where->byteOffset = items.front().byteOffset;
            where->byteCount = items.front().byteCount;
        }
        return true;
    }
    const FieldSpec spec = FieldSpec::of(row);
    if (!data.fits(spec.offset, spec.length)) {
        return false;
    }
    value = data.read(spec);
    if (where) {
        where->byteOffset = packetOffset(spec.offset);
        where->byteCount = uint32_t(spec.length);
    }
    return true;
}

uint64_t DataField::read(const FieldSpec& spec, bool littleEndian) const {
    uint64_t v = 0;
    if (littleEndian) {
        for (uint64_t b = 0; b < spec.length && b < 8; ++b) {
            v |= uint64_t(byte(spec.offset + b)) << (8 * b);
        }
    } else {
        const uint64_t first = spec.length > 8 ? spec.length - 8 : 0;
        for (uint64_t b = first; b < spec.length; ++b) {
            v = (v << 8) | byte(spec.offset + b);
        }
    }
    return spec.apply(v);
}

float DataField::readFloat(const FieldSpec& spec) const {
    return std::bit_cast<float>(static_cast<uint32_t>(read(spec)));
}

double RunningStats::populationStdDev() const {
    return count_ ? std::sqrt(std::max(0.0, m2_ / double(count_))) : 0.0;
}

std::string TarnDecoder::signature() const {
    return std::string("bool TarGse::TarDataInterpretationImpl::") + name_ +
           "::decode(const GseLib::TmDatabaseRow &, const GseLib::TMPacket *, "
           "GseLib::DataItems &, const GseLib::CurrentValueTable *) const";
}

void TarnDecoder::reportOutOfBounds(const GseLib::TmDatabaseRow& row, uint64_t offset,
                                    uint64_t count, uint64_t dataLength) const {
    std::ostringstream line;
    line << signature() << ' ' << row.key.toStdString() << ' ' << row.data_id
         << " Out of bounds: off(" << offset << ") + len(" << count << ") > dataLength("
         << dataLength << ")";
    GseLib::Diagnostics::report(GseLib::Diagnostics::Kind::Decoder, line.str(),
                                GseLib::Diagnostics::Stream::Output);
}

}  // namespace TarGse::TarDataInterpretationImpl
