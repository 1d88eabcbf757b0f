#include <k814util/limittable.h>

#include <gselib/datainterpretation.h>
#include <gselib/limitchecker.h>
#include <gselib/tmdatabase.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace k814util {

namespace {

bool hasLimits(const GseLib::LimitChecker& c) {
    return c.isValid() && (c.hasYellow() || c.hasRed());
}

std::string text(const QByteArray& bytes) {
    return std::string(bytes.constData(), size_t(bytes.size()));
}

}  // namespace

LimitTable::LimitTable() {
    const GseLib::DataInterpretation* di = GseLib::DataInterpretation::current();
    if (!di) {
        throw std::runtime_error("no telemetry database is loaded yet");
    }
    const GseLib::TelemetryDatabase* db = di->db();
    if (!db) {
        return;
    }
    QList<uint32_t> ids = db->allIds();
    std::sort(ids.begin(), ids.end());
    for (const uint32_t id : ids) {
        const GseLib::TmDatabaseRow& row = db->row(id);
        if (!hasLimits(row.limitChecker1) && !hasLimits(row.limitChecker2)) {
            continue;
        }
        ids_.push_back(int(id));
        mnemonics_.push_back(text(row.key));
        subsystems_.push_back(text(row.sub_system));
        units_.push_back(row.units(Gse::ValueMode::Sci).toStdString());
        const GseLib::LimitChecker* checkers[2] = {&row.limitChecker1, &row.limitChecker2};
        Set* sets[2] = {&set1_, &set2_};
        for (int i = 0; i < 2; ++i) {
            const GseLib::LimitChecker& c = *checkers[i];
            Set& s = *sets[i];
            const bool live = hasLimits(c);
            s.valueMode.push_back(live ? static_cast<int>(c.valueMode()) : -1);
            s.comparison.push_back(live ? c.comparison() : -1);
            s.yellow.push_back(live && c.hasYellow() ? c.yellow() : std::nan(""));
            s.red.push_back(live && c.hasRed() ? c.red() : std::nan(""));
            s.persistence.push_back(live ? c.persistence() : 0);
        }
    }
}

}  // namespace k814util
