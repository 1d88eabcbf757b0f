#include <tarnlib/scanconversions.h>

#include <gselib/dactable.h>
#include <gselib/datainterpretation.h>
#include <gselib/tmdatabase.h>

#include <algorithm>
#include <cmath>

namespace TarGse {

namespace {

const GseLib::TmDatabaseRow* itemRow(int id) {
    if (id < 0 || !GseLib::DataInterpretation::hasCurrent()) {
        return nullptr;
    }
    const GseLib::TelemetryDatabase* db = GseLib::DataInterpretation::current()->db();
    if (!db || !db->contains(uint32_t(id))) {
        return nullptr;
    }
    return &db->row(uint32_t(id));
}

// The DAC row of a DAC ID: the table maps IDs to names and keeps rows by name.
bool dacRow(int id, GseLib::DacTableRow& row) {
    if (!GseLib::DataInterpretation::hasCurrent()) {
        return false;
    }
    const auto table = GseLib::DataInterpretation::current()->dacTable();
    if (!table) {
        return false;
    }
    const QByteArray name = table->name(id);
    if (name == GseLib::DacTable::unknown) {
        return false;
    }
    row = table->row(name.constData());
    return true;
}

}  // namespace

double ScanConversions::throughItem(int id, double raw) {
    const GseLib::TmDatabaseRow* row = itemRow(id);
    return row ? row->convertValue(raw, Gse::ValueMode::Sci) : 0.0;
}

double ScanConversions::itemValue(int id, const GseLib::TMPacket& packet, Gse::ValueMode mode) {
    if (!itemRow(id)) {
        return 0.0;
    }
    bool ok = false;
    const double v = GseLib::DataInterpretation::current()->getValue(id, &packet, mode, &ok);
    return ok ? v : 0.0;
}

double ScanConversions::throughDacRow(int id, uint32_t raw) {
    GseLib::DacTableRow row;
    if (!dacRow(id, row) || row.scale == 0.0) {
        return 0.0;
    }
    int64_t v = raw & row.mask;
    if (row.isSigned && row.bits > 0 && row.bits < 64 && ((v >> (row.bits - 1)) & 1)) {
        v -= int64_t(1) << row.bits;
    }
    return (double(v) - row.offset) / row.scale;
}

double ScanConversions::dacRowSlope(int id) {
    GseLib::DacTableRow row;
    return dacRow(id, row) ? row.scale : 0.0;
}

int ScanConversions::roundUpToBin(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    return int(std::clamp(std::ceil(value), -2147483648.0, 2147483647.0));
}

}  // namespace TarGse
