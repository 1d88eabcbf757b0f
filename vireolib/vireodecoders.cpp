#include <vireolib/vireodecoders.h>

#include <gselib/currentvaluetable.h>
#include <gselib/datainterpretation.h>
#include <gselib/tmdatabaserow.h>
#include <gselib/tmpacket.h>
#include <tools/logger/diagnostics.h>

#include <cmath>
#include <cstdio>
#include <limits>

namespace VireoGse {

namespace {

using GseLib::ByteVector;
using GseLib::DataItem;

const ByteVector& bytesOf(const TMPacket* packet) {
    static const ByteVector empty;
    return packet->bytes() ? *packet->bytes() : empty;
}

// Bounds-checked reads: past the packet they raise std::out_of_range for the engine to report.
uint32_t be16(const ByteVector& d, size_t at) {
    return (uint32_t(d.at(at)) << 8) | d.at(at + 1);
}
uint32_t be32(const ByteVector& d, size_t at) {
    return (be16(d, at) << 16) | be16(d, at + 2);
}

uint32_t mask16(const TmDatabaseRow& row) {
    return row.decode_id[2] ? static_cast<uint32_t>(row.decode_id[2]) : 0xFFFFu;
}
unsigned shiftOf(const TmDatabaseRow& row) {
    return static_cast<unsigned>(row.decode_id[3] % 32);
}

void appendAtPacketTime(const TMPacket* packet, DataItems& items, size_t offset, uint32_t count,
                        double value) {
    items.emplace_back(packet->unixTime(), packet->relativeTime(), static_cast<uint32_t>(offset),
                       count, value);
}

// The laser energy samples of a packet; false when there are none.
bool energySamples(const TmDatabaseRow& row, const TMPacket* packet, const CurrentValueTable* cvt,
                   const GseLib::Decoder& decoder, DataItems& samples) {
    static const char* const kIntervalKey = "LEU_STATUS.ENERGY_SAMPLE_INTERVAL_SETTING";
    double interval = 20.0;  // microseconds
    if (cvt && decoder.engine()) {
        const int id = decoder.engine()->db()->getId(kIntervalKey);
        if (id > 0 && cvt->hasValue(id)) {
            bool ok = false;
            const double v = cvt->value(id, Gse::ValueMode::Sci, &ok);
            if (ok) {
                interval = v;
            }
        }
    }
    const ByteVector& data = bytesOf(packet);
    const long long dataLength = packet->dataLength();
    const long long count = dataLength >= 22 ? (dataLength - 20) / 2 : 0;
    const long long width = static_cast<long long>(row.decode_id[1]);
    const double unix0 = count ? packet->unixTime() : 0.0;
    const double relative0 = count ? packet->relativeTime() : 0.0;
    double a = 0.0;
    for (long long k = 0; k < count; ++k) {
        const long long offset = static_cast<long long>(row.decode_id[0]) + k * width;
        if (offset + width > packet->totalLength()) {
            GseLib::Diagnostics::report(
                GseLib::Diagnostics::Kind::Decoder,
                QString::asprintf(
                    "void decodeLaserEnergySamples(const GseLib::TmDatabaseRow &, const "
                    "GseLib::TMPacket "
                    "*, GseLib::DataItems &, const GseLib::CurrentValueTable *) %s %u Out of "
                    "bounds: off(%lld) + len(%lld) > dataLength(%lld)",
                    row.key.constData(), row.data_id, offset, width, dataLength),
                GseLib::Diagnostics::Stream::Output);
            break;
        }
        const double value =
            (be16(data, static_cast<size_t>(offset)) & mask16(row)) >> shiftOf(row);
        a = std::trunc(a + interval);
        samples.emplace_back(unix0 + a / 1e6, relative0 + a / 1e6, static_cast<uint32_t>(offset),
                             static_cast<uint32_t>(width), value);
    }
    return !samples.empty();
}

}  // namespace

bool CtlHkAdcValuesDecoder::decode(const TmDatabaseRow& row, const TMPacket* packet,
                                   DataItems& items, const CurrentValueTable*) const {
    const ByteVector& data = bytesOf(packet);
    const size_t base = static_cast<size_t>(packet->dataOffset()) + 7;
    for (size_t k = 0; k < 32; ++k) {
        const size_t at = base + 3 * k;
        if (data.at(at) == row.decode_id[0]) {
            appendAtPacketTime(packet, items, at + 1, 2, be16(data, at + 1));
        }
    }
    return true;
}

bool CtlStatusGenRegValuesDecoder::decode(const TmDatabaseRow& row, const TMPacket* packet,
                                          DataItems& items, const CurrentValueTable*) const {
    const ByteVector& data = bytesOf(packet);
    const size_t base = static_cast<size_t>(packet->dataOffset()) + 15;
    for (size_t k = 0; k < 32; ++k) {
        const size_t at = base + 5 * k;
        const uint32_t reg = data.at(at);
        const bool match =
            reg < 0xA0 ? (reg & 0x0Fu) == row.decode_id[0] : reg <= 0xA9 && reg == row.decode_id[0];
        if (match) {
            appendAtPacketTime(packet, items, at + 1, 4, be32(data, at + 1));
        }
    }
    return true;
}

bool CtlScienceBinCountsDecoder::decode(const TmDatabaseRow& row, const TMPacket* packet,
                                        DataItems& items, const CurrentValueTable*) const {
    const ByteVector& data = bytesOf(packet);
    const size_t width = static_cast<size_t>(row.decode_id[1]);
    if (width != 1 && width != 2) {
        return true;
    }
    const uint64_t mask = row.decode_id[2] ? row.decode_id[2] : ~0ull;
    const size_t length = static_cast<size_t>(packet->totalLength());
    const double unix0 = packet->unixTime();
    const double relative0 = packet->relativeTime();
    for (size_t at = static_cast<size_t>(row.decode_id[0]); at + width <= length; at += width) {
        const uint64_t raw = width == 1 ? data.at(at) : be16(data, at);
        items.emplace_back(unix0, relative0, static_cast<uint32_t>(at),
                           static_cast<uint32_t>(width),
                           static_cast<double>((raw & mask) >> (row.decode_id[3] % 64)));
    }
    return true;
}

bool CtlScienceSumRfTotalsDecoder::decode(const TmDatabaseRow& row, const TMPacket* packet,
                                          DataItems& items, const CurrentValueTable*) const {
    const long long length = packet->totalLength();
    if (length < 16) {
        return false;
    }
    const ByteVector& data = bytesOf(packet);
    const int c = data.at(15);
    const long long width = static_cast<long long>(row.decode_id[1]);
    for (int k = 0; k < c; ++k) {
        const long long at = static_cast<long long>(row.decode_id[0]) + 16 + 10LL * k;
        if (at + width > length) {
            break;
        }
        if (width == 2) {
            appendAtPacketTime(packet, items, static_cast<size_t>(at), 2,
                               (be16(data, static_cast<size_t>(at)) & mask16(row)) >> shiftOf(row));
        } else if (width == 4) {
            const uint32_t mask =
                row.decode_id[2] ? static_cast<uint32_t>(row.decode_id[2]) : 0xFFFFFFFFu;
            appendAtPacketTime(packet, items, static_cast<size_t>(at), 4,
                               (be32(data, static_cast<size_t>(at)) & mask) >> shiftOf(row));
        } else {
            break;
        }
    }
    return true;
}

bool LeuEnergySampleValueDecoder::decode(const TmDatabaseRow& row, const TMPacket* packet,
                                         DataItems& items, const CurrentValueTable* cvt) const {
    energySamples(row, packet, cvt, *this, items);
    return true;
}

bool LeuEnergySampleAvgDecoder::decode(const TmDatabaseRow& row, const TMPacket* packet,
                                       DataItems& items, const CurrentValueTable* cvt) const {
    DataItems samples;
    if (!energySamples(row, packet, cvt, *this, samples)) {
        return false;
    }
    double sum = 0.0;
    for (const DataItem& s : samples) {
        sum += s.toDouble();
    }
    items.emplace_back(samples.front().unixTime, samples.front().relativeTime,
                       static_cast<uint32_t>(packet->dataLength() + 6), 0xFFFFFFFFu,
                       sum / static_cast<double>(samples.size()));
    return true;
}

namespace {

// The first sample that beats every other by better(); NaNs never win.
template <typename Better>
bool extremeSample(const DataItems& samples, DataItems& items, Better better) {
    if (samples.empty()) {
        return false;
    }
    size_t best = 0;
    for (size_t i = 1; i < samples.size(); ++i) {
        if (better(samples[i].toDouble(), samples[best].toDouble())) {
            best = i;
        }
    }
    items.push_back(samples[best]);
    return true;
}

}  // namespace

bool LeuEnergySampleMinDecoder::decode(const TmDatabaseRow& row, const TMPacket* packet,
                                       DataItems& items, const CurrentValueTable* cvt) const {
    DataItems samples;
    energySamples(row, packet, cvt, *this, samples);
    return extremeSample(samples, items, [](double a, double b) { return a < b; });
}

bool LeuEnergySampleMaxDecoder::decode(const TmDatabaseRow& row, const TMPacket* packet,
                                       DataItems& items, const CurrentValueTable* cvt) const {
    DataItems samples;
    energySamples(row, packet, cvt, *this, samples);
    return extremeSample(samples, items, [](double a, double b) { return a > b; });
}

bool LeuEnergySampleStdDevDecoder::decode(const TmDatabaseRow& row, const TMPacket* packet,
                                          DataItems& items, const CurrentValueTable* cvt) const {
    DataItems samples;
    if (!energySamples(row, packet, cvt, *this, samples)) {
        return false;
    }
    double mean = 0.0;
    for (const DataItem& s : samples) {
        mean += s.toDouble();
    }
    mean /= static_cast<double>(samples.size());
    double squares = 0.0;
    for (const DataItem& s : samples) {
        squares += (s.toDouble() - mean) * (s.toDouble() - mean);
    }
    items.emplace_back(samples.front().unixTime, samples.front().relativeTime,
                       static_cast<uint32_t>(packet->dataLength() + 6), 0xFFFFFFFFu,
                       std::sqrt(squares / static_cast<double>(samples.size())));
    return true;
}

bool CtlScienceSumRfValuesDecoder::decode(const TmDatabaseRow& row, const TMPacket* packet,
                                          DataItems& items, const CurrentValueTable*) const {
    const long long length = packet->totalLength();
    if (length < 16) {
        return false;
    }
    const ByteVector& data = bytesOf(packet);
    const long long c = data.at(15);
    for (long long q = static_cast<long long>(row.decode_id[0]) + 10 * c + 16; q + 2 <= length;
         q += 8) {
        appendAtPacketTime(packet, items, static_cast<size_t>(q),
                           static_cast<uint32_t>(row.decode_id[1]),
                           (be16(data, static_cast<size_t>(q)) & mask16(row)) >> shiftOf(row));
    }
    return true;
}

bool MmcPiraniValuesDecoder::decode(const TmDatabaseRow& row, const TMPacket* packet,
                                    DataItems& items, const CurrentValueTable*) const {
    const long long length = packet->totalLength();
    if (length < 16) {
        return false;
    }
    const ByteVector& data = bytesOf(packet);
    // Seconds since 2010 and a count of 40 ns units, both summed in 32 bits as the MMC does.
    const uint32_t seconds = be32(data, 14) + 1262304000u;
    const uint32_t fine = be32(data, 18) * 40u;
    const double base = static_cast<double>(seconds) + static_cast<double>(fine) / 1e9;
    const double relative0 = packet->relativeTime();
    const long long offset = static_cast<long long>(row.decode_id[0]);
    for (long long r = 28; offset + r + 2 <= length; r += 10) {
        const double step = be16(data, static_cast<size_t>(r)) / 10000.0;
        const size_t at = static_cast<size_t>(offset + r);
        if (row.decode_id[1] == 2) {
            items.emplace_back(base + step, relative0 + step, static_cast<uint32_t>(at), 2u,
                               static_cast<double>((be16(data, at) & mask16(row)) >> shiftOf(row)));
        } else if (row.decode_id[1] == 4 && offset + r + 4 <= length) {
            const float v = static_cast<float>(be32(data, at) >> shiftOf(row));
            items.emplace_back(base + step, relative0 + step, static_cast<uint32_t>(at), 4u,
                               static_cast<double>(v));
        }
    }
    return true;
}

bool MmcStripChartDecoder::decode(const TmDatabaseRow& row, const TMPacket* packet,
                                  DataItems& items, const CurrentValueTable*) const {
    const long long length = packet->totalLength();
    if (length < 16) {
        return false;
    }
    const ByteVector& data = bytesOf(packet);
    const double unix0 = packet->unixTime();
    const double relative0 = packet->relativeTime();
    for (int j = 0; j < 4; ++j) {
        if (data.at(static_cast<size_t>(16 + j)) != row.decode_id[0]) {
            continue;
        }
        // Rows run up to the packet time: the last one is the newest, n ms back.
        long long n = (length - 20) / 4;
        for (long long q = 20 + 2 * j; q + 2 <= length; q += 8) {
            const double back = static_cast<double>(n) / 1000.0;
            items.emplace_back(
                unix0 - back, relative0 - back, static_cast<uint32_t>(q),
                static_cast<uint32_t>(row.decode_id[1]),
                static_cast<double>((be16(data, static_cast<size_t>(q)) & mask16(row)) >>
                                    shiftOf(row)));
            --n;
        }
    }
    return true;
}

bool MmcVRefCalibratedDecoder::decode(const TmDatabaseRow& row, const TMPacket* packet,
                                      DataItems& items, const CurrentValueTable* cvt) const {
    static const char* const kVRefKey = "MMC.HK:V_2P50_VREF";
    const ByteVector& data = bytesOf(packet);
    const size_t at = static_cast<size_t>(row.decode_id[0]);
    const double r = (be16(data, at) & mask16(row)) >> shiftOf(row);
    double value = r;
    if (cvt && engine()) {
        const int id = engine()->db()->getId(kVRefKey);
        bool ok = false;
        const double v =
            id > 0 && cvt->hasValue(id) ? cvt->value(id, Gse::ValueMode::Raw, &ok) : 0.0;
        if (ok && v != 0.0) {
            value = 2.5 / v * r;
        }
    }
    appendAtPacketTime(packet, items, at, 2, value);
    return true;
}

}  // namespace VireoGse
