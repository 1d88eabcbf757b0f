#pragma once

// A TARN test database with the items scan assembly reads, and packet builders for science,
// scan-status and housekeeping packets. Item offsets count from the packet's first byte.

#include <gselib/dactable.h>
#include <gselib/dactablerow.h>

#include "enginetestutil.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace scantest {

using testutil::Bytes;

inline QMap<QString, QString> item(int id, int type, int offset, int bytes, double k1, double k2,
                                   const char* units = "V") {
    const QString mask = bytes == 1 ? "0xFF" : bytes == 2 ? "0xFFFF" : "0xFFFFFFFF";
    return testutil::with(testutil::basicRow(id, "SCAN", QStringLiteral("ITEM_%1").arg(id)),
                          {{"PACKET_TYPE", QString::number(type)},
                           {"DECODE_ID1", QString::number(offset)},
                           {"DECODE_ID2", QString::number(bytes)},
                           {"DECODE_ID3", mask},
                           {"SCI_EQ_TYPE", "1"},
                           {"SCI_K1", QString::number(k1)},
                           {"SCI_K2", QString::number(k2)},
                           {"SCI_UNITS", units}});
}

/// Segment conversions: item 351 x 0.01, item 352 1 + 0.5 x, item 353 3 + 0.25 x. Status
/// items (type 25): 245 bin time 0.1 us per count at byte 80, 239 ionisation time ms at 82,
/// 251 phase cycle at 84, 204 bin count register at 86, 202 RF monitor x 0.001 at 88. SEB
/// housekeeping (type 22): filament A (105) byte 10, B (102) byte 11, EMON A (17) x 0.5 nA at
/// 12. Laser pulses (type 15): 1087 at 10, 1089 at 12.
inline testutil::DbFile scanDatabase() {
    testutil::DbFile db;
    db.row(item(351, 26, 16, 2, 0, 0.01))
        .row(item(352, 26, 18, 2, 1, 0.5))
        .row(item(353, 26, 20, 2, 3, 0.25))
        .row(item(245, 25, 80, 2, 0, 0.1, "us"))
        .row(item(239, 25, 82, 2, 0, 1, "ms"))
        .row(item(251, 25, 84, 2, 0, 1))
        .row(item(204, 25, 86, 2, 0, 1))
        .row(item(202, 25, 88, 2, 0, 0.001))
        .row(item(105, 22, 10, 1, 0, 1))
        .row(item(102, 22, 11, 1, 0, 1))
        .row(item(17, 22, 12, 2, 0, 0.5, "nA"))
        .row(item(1087, 15, 10, 2, 0, 2, "uJ"))
        .row(item(1089, 15, 12, 2, 0, 0.5, "uJ"));
    return db;
}

/// DAC rows: 1 signed 8-bit (EM2) at -0.05 per volt, 6 (offset 10, scale 2), 8 a 16-bit row
/// (so only the reader's own 12-bit mask trims it), 13, 14 and 15 with distinct scales.
inline void addDacRows(GseLib::DacTable& table) {
    table.addRow(GseLib::DacTableRow("0\t0\tEM1\t8\t0xFF\t1\t0\t-0.05"));
    table.addRow(GseLib::DacTableRow("1\t0\tEM2\t8\t0xFF\t1\t0\t-0.05"));
    table.addRow(GseLib::DacTableRow("6\t0\tSRC_A_FOC_A\t8\t0xFF\t0\t10\t2"));
    table.addRow(GseLib::DacTableRow("8\t0\tENDCAP_1\t16\t0xFFFF\t0\t0\t1"));
    table.addRow(GseLib::DacTableRow("13\t0\tRF_AMP\t16\t0xFFFF\t0\t0\t10"));
    table.addRow(GseLib::DacTableRow("14\t0\tDECOY\t16\t0xFFFF\t0\t0\t1000"));
    table.addRow(GseLib::DacTableRow("15\t0\tAUX_AMP\t16\t0xFFFF\t0\t0\t4"));
}

inline void put16(Bytes& data, size_t at, uint16_t v) {
    if (data.size() < at + 2)
        data.resize(at + 2);
    data[at] = uint8_t(v >> 8);
    data[at + 1] = uint8_t(v);
}

inline void put32(Bytes& data, size_t at, uint32_t v) {
    put16(data, at, uint16_t(v >> 16));
    put16(data, at + 2, uint16_t(v));
}

/// Data field of a single science packet: first bin (1-based), RF raw values, counts.
inline Bytes singleData(uint16_t firstBin, const std::vector<uint8_t>& counts,
                        uint16_t rfAmpRaw = 0, uint8_t closing = 0) {
    Bytes d(15, 0);
    d[3] = closing;
    put16(d, 4, uint16_t(counts.size() + 9));
    put16(d, 6, firstBin);
    put16(d, 8, rfAmpRaw);
    d.insert(d.end(), counts.begin(), counts.end());
    return d;
}

struct Segment {
    uint16_t firstBin;  // 1-based, as sent
    uint16_t rfAmp, rfDac, auxDac;
};

/// Data field of a summed (27) or aggregated (28) packet: header, descriptors, block, counts.
inline Bytes multiData(int version, int summed, const std::vector<Segment>& segments,
                       const Bytes& block, const Bytes& counts) {
    Bytes d = {0, uint8_t((version << 6) | summed)};
    put16(d, 2, uint16_t(segments.size()));
    for (const Segment& s : segments) {
        const size_t at = d.size();
        put16(d, at, s.firstBin);
        put16(d, at + 2, s.rfAmp);
        put16(d, at + 4, s.rfDac);
        put16(d, at + 6, s.auxDac);
    }
    d.insert(d.end(), block.begin(), block.end());
    d.insert(d.end(), counts.begin(), counts.end());
    return d;
}

/// A SEB command as the SEB receives it: sync, number, parameter count, parameters, and a
/// trailer whose value the splitter must not care about.
inline Bytes sebCommand(uint8_t number, const Bytes& params) {
    Bytes b = {0xFA, 0xF3, 0x20, number, uint8_t(params.size() >> 8), uint8_t(params.size())};
    b.insert(b.end(), params.begin(), params.end());
    b.insert(b.end(), {0xAB, 0xCD});
    return b;
}

/// Data field of a SEB sequence packet (type 23): a header whose bytes 4-5 (packet bytes 12-13)
/// hold L = 3 + stream bytes (+ extra, to declare more than there is), the 24-bit memory
/// address, the command stream.
inline Bytes sequenceData(const Bytes& stream, uint32_t address = 0, int extra = 0) {
    const size_t l = 3 + stream.size() + size_t(extra);
    Bytes d = {0x11, 0x22, 0x33, 0x44, uint8_t(l >> 8), uint8_t(l)};
    d.insert(d.end(), {uint8_t(address >> 16), uint8_t(address >> 8), uint8_t(address)});
    d.insert(d.end(), stream.begin(), stream.end());
    return d;
}

/// Data field of a scan-status packet (76 bytes, so items reach packet byte 89).
inline Bytes statusData() {
    return Bytes(84, 0);
}

}  // namespace scantest
