#include <k814util/itemseries.h>

#include <gselib/datainterpretation.h>
#include <gselib/prefetch.h>
#include <gselib/telemetrycache.h>
#include <gselib/telemetryfile.h>
#include <gselib/tmdatabase.h>
#include <gselib/tmpacket.h>
#include <k814util/rawvalue.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>
#include <variant>

namespace k814util {

namespace {

// Non-zero when any of the four 16-bit lanes of x is zero. (A borrow can mark a lane above a
// zero lane as well, but never marks a word without one.)
inline uint64_t zeroLanes(uint64_t x) {
    return (x - 0x0001000100010001ull) & ~x & 0x8000800080008000ull;
}

// Candidate packets decoded together, with their memory requested ahead.
constexpr size_t BATCH = 1024;

}  // namespace

ItemSeries::ItemSeries(int hkid, int mode) {
    if (mode < 0 || mode > 2) {
        throw std::invalid_argument("mode must be 0 (raw), 1 (eng) or 2 (sci), not " +
                                    std::to_string(mode));
    }
    const GseLib::DataInterpretation* di = GseLib::DataInterpretation::current();
    if (hkid < 0 || !di->db() || !di->db()->contains(uint32_t(hkid))) {
        throw std::invalid_argument("no database item has the id " + std::to_string(hkid));
    }
    const GseLib::TmDatabaseRow& row = di->db()->row(uint32_t(hkid));
    const auto valueMode = static_cast<Gse::ValueMode>(mode);
    GseLib::TelemetryCache* cache = GseLib::TelemetryFile::sharedCache();
    if (!cache) {
        return;
    }
    const auto& packets = cache->packets();
    // The packets of other types, most of a file for most items, are passed over in the
    // cache's type index, without a look into their packet objects.
    const std::vector<uint16_t>& types = cache->typeIndex();
    constexpr uint16_t other = GseLib::TelemetryCache::OTHER_TYPE;
    const uint16_t key = row.packet_type < other ? static_cast<uint16_t>(row.packet_type) : other;
    const size_t n = types.size();
    const uint64_t keys = 0x0001000100010001ull * key;
    GseLib::DataItems items;
    std::vector<size_t> batch;
    batch.reserve(BATCH);
    auto consider = [&](size_t position) {
        if (types[position] == key || types[position] == other) {
            batch.push_back(position);
            if (batch.size() == BATCH) {
                decodeBatch(*di, row, valueMode, packets, batch, items);
                batch.clear();
            }
        }
    };
    size_t block = 0;
    // Sixteen entries at a time, four to a 64-bit word: a block holds a candidate when a lane
    // of (word ^ keys) or of ~word (OTHER_TYPE) is zero. Only such blocks are walked entry by
    // entry, so a rare type costs little more than reading the index once.
    for (; block + 16 <= n; block += 16) {
        const auto* at = reinterpret_cast<const unsigned char*>(types.data() + block);
        uint64_t candidates = 0;
        for (size_t k = 0; k < 4; ++k) {
            uint64_t word;
            std::memcpy(&word, at + 8 * k, sizeof word);
            candidates |= zeroLanes(word ^ keys) | zeroLanes(~word);
        }
        if (candidates != 0) {
            for (size_t position = block; position < block + 16; ++position) {
                consider(position);
            }
        }
    }
    for (; block < n; ++block) {
        consider(block);
    }
    decodeBatch(*di, row, valueMode, packets, batch, items);
}

void ItemSeries::decodeBatch(const GseLib::DataInterpretation& di, const GseLib::TmDatabaseRow& row,
                             Gse::ValueMode valueMode,
                             const std::vector<GseLib::TMPacketPtr>& packets,
                             const std::vector<size_t>& batch, GseLib::DataItems& items) {
    // Each value needs the packet's slot in the cache, its object, its byte vector and its
    // bytes, scattered over the heap; waiting for them one after another is most of what a
    // sparse item costs. So the memory of the packets a few places ahead is asked for early,
    // each step one link further along, the nearest packets the furthest.
    const size_t m = batch.size();
    for (size_t j = 0; j < m; ++j) {
        if (j + 12 < m) {
            GseLib::prefetch(&packets[batch[j + 12]]);
        }
        if (j + 8 < m) {
            GseLib::prefetch(packets[batch[j + 8]].get());
        }
        if (j + 4 < m) {
            if (const GseLib::TMPacket* ahead = packets[batch[j + 4]].get()) {
                GseLib::prefetch(ahead->bytes().get());
            }
        }
        if (j + 2 < m) {
            if (const GseLib::TMPacket* ahead = packets[batch[j + 2]].get()) {
                GseLib::prefetch(ahead->data());
            }
        }
        decodeInto(di, row, valueMode, packets[batch[j]].get(), int64_t(batch[j]), items);
    }
}

void ItemSeries::decodeInto(const GseLib::DataInterpretation& di, const GseLib::TmDatabaseRow& row,
                            Gse::ValueMode valueMode, const GseLib::TMPacket* packet,
                            int64_t position, GseLib::DataItems& items) {
    // OTHER_TYPE entries stand for any type, so the packet's own is the one that decides.
    if (!packet || static_cast<uint32_t>(packet->type()) != row.packet_type) {
        return;
    }
    items.clear();
    di.decodePacket(row, packet, items, true, nullptr);
    for (const GseLib::DataItem& item : items) {
        const double value = row.convertValue(rawAsDouble(item.value), valueMode);
        if (std::isnan(value)) {
            continue;
        }
        if (const auto* text = std::get_if<QByteArray>(&item.value)) {
            // Numbers seen before the first text get empty texts.
            texts_.resize(values_.size());
            texts_.emplace_back(text->constData(), size_t(text->size()));
        } else if (!texts_.empty()) {
            texts_.emplace_back();
        }
        unixTimes_.push_back(item.unixTime);
        relativeTimes_.push_back(item.relativeTime);
        values_.push_back(value);
        packets_.push_back(position);
    }
}

}  // namespace k814util
