#include <gselib/genericdecoders.h>

#include <gselib/currentvaluetable.h>
#include <gselib/datainterpretation.h>
#include <gselib/tmdatabaserow.h>
#include <gselib/tmpacket.h>

#include <bit>
#include <limits>

namespace GseLib {

namespace {

// Bounds-checked byte access: a read past the packet raises std::out_of_range, which the engine
// reports as a warning.
inline uint8_t byteAt(const ByteVector& data, size_t i) {
    return data.at(i);
}

const ByteVector& bytesOf(const TMPacket* packet) {
    static const ByteVector empty;
    return packet->bytes() ? *packet->bytes() : empty;
}

uint64_t bigEndian(const ByteVector& data, size_t at, int n) {
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) {
        v = (v << 8) | byteAt(data, at + static_cast<size_t>(i));
    }
    return v;
}

double timeOffset(const TmDatabaseRow& row, size_t i) {
    return i < row.time_offsets.size() ? row.time_offsets[i] : 0.0;
}

}  // namespace

bool ArrayDecoder::decode(const TmDatabaseRow& row, const TMPacket* packet, DataItems& items,
                          const CurrentValueTable*) const {
    const ByteVector& data = bytesOf(packet);
    const size_t length = static_cast<size_t>(packet->totalLength());
    const size_t n = row.bit_shifts.size();
    const int t = type();
    const uint64_t mask = row.decode_id[2] ? row.decode_id[2] : ~0ull;
    const unsigned shift = static_cast<unsigned>(row.decode_id[3] % 64);
    const uint32_t count = static_cast<uint32_t>(row.byte_order.size());
    bool timesKnown = false;
    double unix0 = 0.0;
    double relative0 = 0.0;
    for (size_t i = 0; i < row.pkt_offsets.size(); ++i) {
        const size_t o = row.pkt_offsets[i];
        if (o + n > length) {
            continue;
        }
        DataItem::Value value;
        if (t == 5) {
            uint32_t v = 0;
            for (size_t b = 0; b < n; ++b) {
                v |= uint32_t(byteAt(data, o + b)) << (row.bit_shifts[b] % 32);
            }
            value = static_cast<double>(std::bit_cast<float>(v));
        } else {
            uint64_t v = 0;
            for (size_t b = 0; b < n; ++b) {
                v |= uint64_t(byteAt(data, o + b)) << (row.bit_shifts[b] % 64);
            }
            if (t == 6) {
                value = std::bit_cast<double>(v);
            } else {
                v = (v & mask) >> shift;
                if (t == 4) {
                    const uint32_t w = row.mask_bits;
                    if (w > 0 && w < 64 && ((v >> (w - 1)) & 1u)) {
                        v |= ~0ull << w;
                    }
                    value = static_cast<int64_t>(v);
                } else {
                    value = v;
                }
            }
        }
        if (!timesKnown) {
            unix0 = packet->unixTime();
            relative0 = packet->relativeTime();
            timesKnown = true;
        }
        const double dt = timeOffset(row, i);
        items.emplace_back(unix0 + dt, relative0 + dt, static_cast<uint32_t>(o), count,
                           std::move(value));
    }
    return !items.empty();
}

bool SimpleDecoderLE::decode(const TmDatabaseRow& row, const TMPacket* packet, DataItems& items,
                             const CurrentValueTable*) const {
    const ByteVector& data = bytesOf(packet);
    const uint64_t o = row.decode_id[0];
    const uint64_t n = row.decode_id[1];
    if (o + n > static_cast<uint64_t>(packet->totalLength())) {
        return false;
    }
    uint64_t v = 0;
    for (uint64_t b = 0; b < n && b < 8; ++b) {
        v |= uint64_t(byteAt(data, o + b)) << (8 * b);
    }
    v &= row.decode_id[2];
    const int32_t shift = static_cast<int32_t>(row.decode_id[3]);
    if (shift >= 0) {
        v >>= (static_cast<uint32_t>(shift) % 64);
    } else {
        v <<= (static_cast<uint32_t>(-static_cast<int64_t>(shift)) % 64);
    }
    items.emplace_back(packet->unixTime(), packet->relativeTime(), static_cast<uint32_t>(o),
                       static_cast<uint32_t>(n), v);
    return true;
}

bool StringDecoder::decode(const TmDatabaseRow& row, const TMPacket* packet, DataItems& items,
                           const CurrentValueTable*) const {
    if (row.pkt_offsets.empty()) {
        return false;
    }
    const ByteVector& data = bytesOf(packet);
    const long long length = packet->totalLength();
    const long long s = row.pkt_offsets[0];
    const long long n = static_cast<long long>(row.byte_order.size());
    if (s + n > length) {
        return false;
    }
    QByteArray text;
    if (n > 0) {
        for (long long k = 0; k < n; ++k) {
            const uint8_t c =
                byteAt(data, static_cast<size_t>(s - 1 + row.byte_order[static_cast<size_t>(k)]));
            if (c == 0) {
                break;
            }
            text.append(static_cast<char>(c));
        }
    } else {
        const long long limit = length - (static_cast<long long>(row.decode_id[1]) + s);
        for (long long j = 0; j < limit; ++j) {
            const uint8_t c = byteAt(data, static_cast<size_t>(s + j));
            if (c == 0) {
                break;
            }
            text.append(static_cast<char>(c));
        }
    }
    const double dt = timeOffset(row, 0);
    const uint32_t size = static_cast<uint32_t>(text.size());
    items.emplace_back(packet->unixTime() + dt, packet->relativeTime() + dt,
                       static_cast<uint32_t>(s), size, std::move(text));
    return true;
}

bool BytesDecoder::decode(const TmDatabaseRow& row, const TMPacket* packet, DataItems& items,
                          const CurrentValueTable*) const {
    if (row.pkt_offsets.empty()) {
        return false;
    }
    const ByteVector& data = bytesOf(packet);
    const long long length = packet->totalLength();
    const long long s = row.pkt_offsets[0];
    const long long m = row.byte_order.empty() ? 0 : row.byte_order[0];
    if (s >= length) {
        return false;
    }
    const long long count = std::min(length - s, m);
    QByteArray bytes(reinterpret_cast<const char*>(data.data()) + s, static_cast<qsizetype>(count));
    const double dt = timeOffset(row, 0);
    items.emplace_back(packet->unixTime() + dt, packet->relativeTime() + dt,
                       static_cast<uint32_t>(s), static_cast<uint32_t>(count), std::move(bytes));
    return true;
}

bool TimeDecoder::decode(const TmDatabaseRow& row, const TMPacket* packet, DataItems& items,
                         const CurrentValueTable*) const {
    if (row.pkt_offsets.empty()) {
        return false;
    }
    const ByteVector& data = bytesOf(packet);
    const size_t s = row.pkt_offsets[0];
    if (s + static_cast<size_t>(width_) > static_cast<size_t>(packet->totalLength())) {
        return false;
    }
    long long seconds = 0;
    long long fraction = 0;
    long long denominator = 0;
    double plain = 0.0;  // the value without a clock
    switch (type_) {
        case 8:
            seconds = static_cast<long long>(bigEndian(data, s, 4));
            plain = static_cast<double>(seconds);
            break;
        case 28: {
            uint32_t v = 0;
            for (int b = 0; b < 4; ++b) {
                v |= uint32_t(byteAt(data, s + static_cast<size_t>(b))) << (8 * b);
            }
            seconds = v;
            plain = static_cast<double>(v);
            break;
        }
        case 14:
            seconds = static_cast<long long>(bigEndian(data, s, 4));
            fraction = byteAt(data, s + 4);
            denominator = 256;
            plain = static_cast<double>(seconds) + static_cast<double>(fraction) * 0.00390625;
            break;
        case 9:
            seconds = static_cast<long long>(bigEndian(data, s, 4));
            fraction = static_cast<long long>(bigEndian(data, s + 4, 2));
            denominator = 65536;
            plain =
                static_cast<double>(seconds) + static_cast<double>(fraction) * 1.52587890625e-05;
            break;
        case 10:
            seconds = static_cast<long long>(bigEndian(data, s, 4));
            fraction = static_cast<long long>(bigEndian(data, s + 4, 4));
            denominator = 1000000;
            plain = static_cast<double>(seconds) + static_cast<double>(fraction) / 1000000.0;
            break;
        case 12:
            seconds = byteAt(data, s);
            fraction = static_cast<long long>(bigEndian(data, s + 1, 2));
            denominator = 65536;
            plain =
                static_cast<double>(seconds) + static_cast<double>(fraction) * 1.52587890625e-05;
            break;
        case 21: {
            const uint64_t ns = bigEndian(data, s, 8);
            seconds = static_cast<long long>(ns / 1000000000ull);
            fraction = static_cast<long long>(ns - static_cast<uint64_t>(seconds) * 1000000000ull);
            denominator = 1000000000;
            plain = static_cast<double>(ns) / 1e9;
            break;
        }
        default:
            return false;
    }
    const double value = row.clock ? row.clock->toUnixTime(seconds, fraction, denominator) : plain;

    // The packet's own time item must not ask the packet for its time: that time is what the
    // item is being decoded to provide.
    bool ownTimeItem = false;
    if (row.clock && engine()) {
        const TMPacketTypeInfo info = engine()->packetTypes().info(packet->apid());
        ownTimeItem = info.timeItemId >= 0 && static_cast<uint32_t>(info.timeItemId) == row.data_id;
    }
    const double dt = timeOffset(row, 0);
    if (ownTimeItem) {
        items.emplace_back(dt + value, 0.0, static_cast<uint32_t>(s), static_cast<uint32_t>(width_),
                           value);
    } else {
        items.emplace_back(packet->unixTime() + dt, packet->relativeTime() + dt,
                           static_cast<uint32_t>(s), static_cast<uint32_t>(width_), value);
    }
    return true;
}

bool HistoryDecoder::decode(const TmDatabaseRow& row, const TMPacket* packet, DataItems& items,
                            const CurrentValueTable* cvt) const {
    if (!cvt) {
        return false;
    }
    const ORLA::History history = cvt->history(static_cast<int>(row.data_id));
    double value = 0.0;
    switch (statistic_) {
        case Max:
            value = history.maximum();
            break;
        case Avg:
            value = history.mean();
            break;
        case Min:
            value = history.minimum();
            break;
        case Rate:
            value = history.rate();
            break;
        case Sum:
            value = history.sum();
            break;
        case SumOfSquares:
            value = history.sumOfSquares();
            break;
    }
    items.emplace_back(packet->unixTime(), 0.0, 0u, 0u, value);
    return true;
}

}  // namespace GseLib
