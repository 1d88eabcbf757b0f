#include <k814util/wholefiletables.h>

#include <gselib/datainterpretation.h>
#include <gselib/telemetrycache.h>
#include <gselib/telemetryfile.h>
#include <gselib/tmdatabase.h>
#include <gselib/tmpacket.h>
#include <k814util/itemseries.h>
#include <k814util/limittable.h>
#include <k814util/limitviolations.h>
#include <k814util/packetheadertable.h>
#include <k814util/sciencedatacachewrapper.h>
#include <k814util/spectraarrays.h>
#include <tarnlib/markercache.h>

#include <QHash>
#include <algorithm>

namespace k814util {

namespace {

std::string text(const QByteArray& bytes) {
    return std::string(bytes.constData(), size_t(bytes.size()));
}

// Column c of a row-major block of rows x width values.
template <typename T>
std::vector<T> columnOf(const std::vector<T>& block, int rows, int width, int c) {
    std::vector<T> column(static_cast<size_t>(rows));
    for (int r = 0; r < rows; ++r) {
        column[size_t(r)] = block[size_t(r) * size_t(width) + size_t(c)];
    }
    return column;
}

std::vector<int64_t> wide(const std::vector<int>& values) {
    return std::vector<int64_t>(values.begin(), values.end());
}

// Codes as the names scripts read; a code outside the table (no limit) is "".
std::vector<std::string> named(const std::vector<int>& codes,
                               std::initializer_list<const char*> names) {
    std::vector<std::string> out;
    out.reserve(codes.size());
    for (const int code : codes) {
        out.emplace_back(code >= 0 && size_t(code) < names.size() ? names.begin()[code] : "");
    }
    return out;
}

const std::initializer_list<const char*> kModes = {"raw", "eng", "sci"};
const std::initializer_list<const char*> kComparisons = {"below", "above", "equal", "not equal"};

}  // namespace

ColumnTable itemSeriesTable(int hkid, int mode) {
    ItemSeries series(hkid, mode);
    ColumnTable table;
    const bool isText = series.is_text();
    table.add("unix_time", std::move(series).unixTimes());
    table.add("relative_time", std::move(series).relativeTimes());
    if (isText) {
        table.addTexts("value", std::move(series).texts());
    } else {
        table.add("value", std::move(series).values());
    }
    table.add("packet", std::move(series).packets());
    return table;
}

ColumnTable packetTable() {
    ColumnTable table;
    std::vector<int64_t> index, type, fullType, totalLength, length, sequence, sclk, checksum,
        markerId;
    std::vector<uint8_t> gseCreated;
    std::vector<double> unixTime, relativeTime;
    std::vector<std::string> typeName;
    if (const GseLib::TelemetryCache* cache = GseLib::TelemetryFile::sharedCache()) {
        // A cursor of its own, as every file object has, so reading markers moves no one else's.
        GseLib::TelemetryFile cursor;
        TarGse::MarkerCache markers(&cursor);
        markers.refresh();
        const GseLib::DataInterpretation* di = GseLib::DataInterpretation::hasCurrent()
                                                   ? GseLib::DataInterpretation::current()
                                                   : nullptr;
        // Names repeat: each full type is looked up once. The catalogue names a GSE-created
        // packet by its full type; a full type it lacks is named by the type, as the packet
        // objects name it.
        QHash<int, std::string> names;
        const auto& packets = cache->packets();
        for (auto* column : {&index, &type, &fullType, &totalLength, &length, &sequence, &sclk,
                             &checksum, &markerId}) {
            column->reserve(packets.size());
        }
        gseCreated.reserve(packets.size());
        unixTime.reserve(packets.size());
        relativeTime.reserve(packets.size());
        typeName.reserve(packets.size());
        for (const auto& packet : packets) {
            const int full = packet->fullType();
            auto name = names.find(full);
            if (name == names.end()) {
                std::string found = "Unknown packet";
                if (di) {
                    const GseLib::TMPacketTypeInfo* info = di->packetTypes().find(full);
                    found = (info ? info->name : di->packetTypes().info(packet->type()).name)
                                .toStdString();
                }
                name = names.insert(full, found);
            }
            const double relative = packet->relativeTime();
            bool marked = false;
            const TarGse::MarkerData marker = markers.getMarker(relative, &marked, false);
            index.push_back(packet->index());
            type.push_back(packet->type());
            fullType.push_back(full);
            totalLength.push_back(packet->totalLength());
            length.push_back(packet->dataLength());
            sequence.push_back(packet->sequence());
            sclk.push_back(int64_t(packet->rawTimestamp()));
            checksum.push_back(packet->checksum());
            gseCreated.push_back(packet->isGseCreated() ? 1 : 0);
            markerId.push_back(marked ? int64_t(marker.markerId) : 0);
            unixTime.push_back(packet->unixTime());
            relativeTime.push_back(relative);
            typeName.push_back(*name);
        }
    }
    table.add("index", std::move(index));
    table.add("type", std::move(type));
    table.add("full_type", std::move(fullType));
    table.add("total_length", std::move(totalLength));
    table.add("length", std::move(length));
    table.add("sequence", std::move(sequence));
    table.add("sclk", std::move(sclk));
    table.add("checksum", std::move(checksum));
    table.addFlags("gse_created", std::move(gseCreated));
    table.add("marker_id", std::move(markerId));
    table.add("unix_time", std::move(unixTime));
    table.add("relative_time", std::move(relativeTime));
    table.addTexts("type_name", std::move(typeName));
    return table;
}

ColumnTable itemCatalogueTable() {
    const GseLib::DataInterpretation* di = GseLib::DataInterpretation::current();
    const GseLib::TelemetryDatabase* db = di->db();
    QList<uint32_t> ids = db ? db->allIds() : QList<uint32_t>();
    std::sort(ids.begin(), ids.end());
    std::vector<int64_t> id, packetType;
    std::vector<std::string> mnemonic, subsystem, name, raw, eng, sci, description;
    for (uint32_t hkid : ids) {
        const GseLib::TmDatabaseRow& row = db->row(hkid);
        id.push_back(hkid);
        mnemonic.push_back(text(row.key));
        subsystem.push_back(text(row.sub_system));
        name.push_back(text(row.signal_name));
        packetType.push_back(row.packet_type);
        raw.push_back(row.units(Gse::ValueMode::Raw).toStdString());
        eng.push_back(row.units(Gse::ValueMode::Eng).toStdString());
        sci.push_back(row.units(Gse::ValueMode::Sci).toStdString());
        description.push_back(text(row.description));
    }
    ColumnTable table;
    table.add("id", std::move(id));
    table.addTexts("mnemonic", std::move(mnemonic));
    table.addTexts("subsystem", std::move(subsystem));
    table.addTexts("name", std::move(name));
    table.add("packet_type", std::move(packetType));
    table.addTexts("units_raw", std::move(raw));
    table.addTexts("units_eng", std::move(eng));
    table.addTexts("units_sci", std::move(sci));
    table.addTexts("description", std::move(description));
    return table;
}

ColumnTable tarnMarkerTable() {
    GseLib::TelemetryFile cursor;
    TarGse::MarkerCache markers(&cursor);
    markers.refresh();
    std::vector<int64_t> markerIndex, packet, markerId, sclk;
    std::vector<double> relativeTime, unixTime;
    std::vector<std::string> texts;
    for (const TarGse::MarkerData& m : markers.markers()) {
        markerIndex.push_back(m.markerIndex);
        packet.push_back(m.packetIndex);
        markerId.push_back(m.markerId);
        sclk.push_back(int64_t(m.rawTimestamp));
        relativeTime.push_back(m.relativeTime);
        unixTime.push_back(m.unixTime);
        texts.emplace_back(m.text);
    }
    ColumnTable table;
    table.add("marker_index", std::move(markerIndex));
    table.add("packet", std::move(packet));
    table.add("marker_id", std::move(markerId));
    table.add("sclk", std::move(sclk));
    table.add("relative_time", std::move(relativeTime));
    table.add("unix_time", std::move(unixTime));
    table.addTexts("text", std::move(texts));
    return table;
}

ColumnTable packetHeaderTable(const std::string& path, int format, bool withBytes,
                              bool syncPrefix) {
    const PacketHeaderTable headers(path, format, withBytes, syncPrefix);
    const size_t n = headers.size();
    std::vector<int64_t> offset(n);
    std::vector<int32_t> length(n);
    std::vector<uint16_t> type(n), sequenceCount(n);
    std::vector<uint8_t> sequenceFlags(n), secondaryHeader(n);
    std::vector<uint32_t> rawTimestamp(n);
    headers.copyColumns(offset.data(), length.data(), type.data(), sequenceCount.data(),
                        sequenceFlags.data(), secondaryHeader.data(), rawTimestamp.data());
    ColumnTable table;
    table.add("offset", std::move(offset));
    table.add("length", std::move(length));
    table.add("type", std::move(type));
    table.add("sequence_count", std::move(sequenceCount));
    table.add("sequence_flags", std::move(sequenceFlags));
    table.addFlags("secondary_header", std::move(secondaryHeader));
    table.add("raw_timestamp", std::move(rawTimestamp));
    table.add("bytes", headers.bytes());
    table.addTexts("diagnostics", headers.diagnostics());
    return table;
}

ColumnTable spectraTable(const ScienceDataCacheWrapper& scans, int first, int last,
                         bool withArrays) {
    const SpectraArrays arrays(scans.cache(), scans.massCal().data(), first, last);
    const int rows = arrays.rows();
    ColumnTable table;
    table.add("n_bins", arrays.countedBins());
    if (withArrays) {
        // The scans' bins one after another, without padding, and where each scan starts.
        // Counts are whole numbers, except where summed scans were averaged: those keep their
        // fractions rather than being truncated. Missing bins stay zero; every m/z is written.
        std::vector<int64_t> offsets = arrays.offsets();
        const size_t total = size_t(offsets.back());
        if (arrays.wholeCounts()) {
            std::vector<int32_t> counts(total, 0);
            arrays.fillFlatCounts(counts.data());
            table.add("counts", std::move(counts));
        } else {
            std::vector<double> counts(total, 0.0);
            arrays.fillFlatCounts(counts.data());
            table.add("counts", std::move(counts));
        }
        std::vector<double> mz(total);
        arrays.fillFlatMz(mz.data());
        table.add("mz", std::move(mz));
        table.add("offsets", std::move(offsets));
    }

    constexpr int realCount = SpectraArrays::RealColumnCount;
    constexpr int intCount = SpectraArrays::IntColumnCount;
    std::vector<double> reals(size_t(rows) * realCount);
    std::vector<int64_t> ints(size_t(rows) * intCount);
    // The markers as the wrapper's scan objects find them.
    std::vector<std::string> markerTexts =
        arrays.fillTable(reals.data(), ints.data(), scans.markerCache(), scans.skipZeroIdMarkers());
    static constexpr const char* realNames[realCount] = {"relative_time", "unix_time",
                                                         "corrected_tic", "marker_time"};
    static constexpr const char* intNames[intCount] = {
        "tic",        "highest_count", "highest_count_bin", "mode",
        "ion_source", "src_pkt_type",  "summed_scans",      "marker_id"};
    for (int c = 0; c < realCount; ++c) {
        table.add(realNames[c], columnOf(reals, rows, realCount, c));
    }
    for (int c = 0; c < intCount; ++c) {
        table.add(intNames[c], columnOf(ints, rows, intCount, c));
    }
    table.addTexts("marker_text", std::move(markerTexts));
    return table;
}

ColumnTable limitTable() {
    const LimitTable limits;
    ColumnTable table;
    table.add("id", wide(limits.ids()));
    table.addTexts("mnemonic", limits.mnemonics());
    table.addTexts("subsystem", limits.subsystems());
    table.addTexts("units", limits.units());
    for (int n = 1; n <= 2; ++n) {
        const LimitTable::Set& set = limits.set(n);
        const std::string suffix = "_" + std::to_string(n);
        table.addTexts("value_mode" + suffix, named(set.valueMode, kModes));
        table.addTexts("comparison" + suffix, named(set.comparison, kComparisons));
        table.add("yellow" + suffix, set.yellow);
        table.add("red" + suffix, set.red);
        table.add("persistence" + suffix, wide(set.persistence));
    }
    return table;
}

ColumnTable limitViolationTable(const std::vector<int>& hkids, bool redOnly) {
    const LimitViolations spans(hkids, redOnly);
    std::vector<std::string> levels;
    levels.reserve(spans.size());
    for (const int level : spans.levels()) {
        levels.emplace_back(level == LimitViolations::Red ? "red" : "yellow");
    }
    ColumnTable table;
    table.add("id", wide(spans.ids()));
    table.addTexts("mnemonic", spans.mnemonics());
    table.add("set", wide(spans.sets()));
    table.addTexts("level", std::move(levels));
    table.addTexts("value_mode", named(spans.valueModes(), kModes));
    table.addTexts("comparison", named(spans.comparisons(), kComparisons));
    table.add("limit", spans.limits());
    table.add("start_unix", spans.startUnix());
    table.add("end_unix", spans.endUnix());
    table.add("start_relative", spans.startRelative());
    table.add("end_relative", spans.endRelative());
    table.add("first_packet", spans.firstPackets());
    table.add("last_packet", spans.lastPackets());
    table.add("samples", spans.samples());
    table.add("worst", spans.worst());
    table.add("worst_unix", spans.worstUnix());
    table.add("worst_relative", spans.worstRelative());
    table.addFlags("open", std::vector<uint8_t>(spans.open().begin(), spans.open().end()));
    return table;
}

}  // namespace k814util
