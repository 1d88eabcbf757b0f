#include <tarnlib/maifdecoders.h>

#include <gselib/datainterpretation.h>
#include <gselib/tmdatabaserow.h>
#include <gselib/tmpacket.h>

#include <stdexcept>

namespace TarGse {

namespace {

constexpr uint32_t FPGA_ITEM = 831;
constexpr uint64_t LONG_PACKET = 469;
// Samples of a single field lie in this many data bytes after their start.
constexpr uint64_t SAMPLE_SPAN = 458;
constexpr double SAMPLE_PERIOD = 0.0025;

/// The field of item 831, read with the item's own bit definition; false when the engine has
/// no such item or the field lies past the data.
bool fpgaField(const TarDataInterpretationImpl::DataField& data,
               const GseLib::DataInterpretation* engine, uint64_t& value) {
    return TarDataInterpretationImpl::itemValue(engine, FPGA_ITEM, data, value);
}

}  // namespace

double extractMaifTimestampSecs(std::span<const uint8_t> data) {
    if (data.size() < 5) {
        return 0.0;
    }
    return double(data[3] | (data[4] << 8)) / 32000.0;
}

uint32_t getMaifFpgaVersion(std::span<const uint8_t> data,
                            const GseLib::DataInterpretation* engine) {
    uint64_t v = 0;
    return fpgaField(TarDataInterpretationImpl::DataField(data), engine, v)
               ? uint32_t((v >> 8) & 0xFF)
               : 0u;
}

namespace TarDataInterpretationImpl {

MaifBase maifBase(const DataField& data, const GseLib::DataInterpretation* engine) {
    uint64_t fpga = 0;
    if (data.length() >= LONG_PACKET && fpgaField(data, engine, fpga) && (fpga & 0xFC00) > 0x2B00) {
        return {5, -extractMaifTimestampSecs(data.bytes())};
    }
    return {};
}

bool MaifDecoder::decode(const GseLib::TmDatabaseRow& row, const GseLib::TMPacket* packet,
                         GseLib::DataItems& items, const GseLib::CurrentValueTable*) const {
    const DataField data(*packet);
    const FieldSpec spec = FieldSpec::of(row);
    if (!data.fits(spec.offset, spec.length)) {
        reportOutOfBounds(row, spec.offset, spec.length, data.length());
        return true;
    }
    const MaifBase base = maifBase(data, engine());
    double t = 0.0;
    if (spec.offset >= base.start && spec.offset < base.start + SAMPLE_SPAN) {
        t = base.seconds + double(spec.offset - base.start) * 0.5 * SAMPLE_PERIOD;
    }
    items.emplace_back(packet->unixTime() + t, packet->relativeTime() + t,
                       packetOffset(spec.offset), uint32_t(spec.length),
                       double(data.read(spec, true)));
    return true;
}

bool MaifBlockDecoder::decode(const GseLib::TmDatabaseRow& row, const GseLib::TMPacket* packet,
                              GseLib::DataItems& items, const GseLib::CurrentValueTable*) const {
    const DataField data(*packet);
    const FieldSpec spec = FieldSpec::of(row);
    const double t0 = firstSampleTime(spec, data);
    const double unix0 = packet->unixTime() + t0;
    const double relative0 = packet->relativeTime() + t0;
    uint64_t at = spec.offset;
    for (int i = 0; i < layout_.samples; ++i) {
        if (!data.fits(at, spec.length)) {
            reportOutOfBounds(row, at, spec.length, data.length());
            break;
        }
        const double dt = i * 0.01;
        items.emplace_back(unix0 + dt, relative0 + dt, packetOffset(at), uint32_t(spec.length),
                           double(data.read(spec.at(at), true)));
        at += i < layout_.earlySteps    ? layout_.earlyGap
              : i == layout_.earlySteps ? layout_.turnGap
                                        : layout_.lateGap;
    }
    return true;
}

double MaifPressureDecoder::firstSampleTime(const FieldSpec& spec, const DataField& data) const {
    const MaifBase base = maifBase(data, engine());
    return base.seconds + (double(spec.offset) - double(base.start)) * 0.5 * SAMPLE_PERIOD;
}

double MaifCurrentDecoder::firstSampleTime(const FieldSpec&, const DataField& data) const {
    return maifBase(data, engine()).seconds;
}

double Maif1MinDecoder::firstSampleTime(const FieldSpec& spec, const DataField& data) const {
    // A block read from data byte 6 carries the milliseconds of its start at byte 4.
    if (spec.offset != 6) {
        return 0.0;
    }
    return -(double(data.read(spec.at(4), true)) / 1000.0 + 60.0);
}

}  // namespace TarDataInterpretationImpl
}  // namespace TarGse
