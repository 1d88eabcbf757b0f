#include <k814util/limitviolations.h>

#include <gselib/datainterpretation.h>
#include <gselib/limitchecker.h>
#include <gselib/tmdatabase.h>
#include <k814util/itemseries.h>
#include <tools/logger/diagnostics.h>

#include <fmt/format.h>
#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace k814util {

namespace {

const char* const MODE_NAMES[] = {"raw", "engineering", "science"};

/// One limit (a set's yellow or red) followed along an item's values.
struct Track {
    int set;
    int level;
    const GseLib::LimitChecker* checker;
    double limit;
    int64_t persistence;
    // The run of violating values going on: its length, first value and worst value.
    int64_t run = 0;
    size_t first = 0;
    size_t worstAt = 0;
    double worstBeyond = 0.0;
    double worst = 0.0;  // in the checker's value mode

    /// How far beyond the limit v lies; larger is worse.
    double beyond(double v) const {
        switch (checker->comparison()) {
            case GseLib::LimitChecker::Below:
                return limit - v;
            case GseLib::LimitChecker::Above:
                return v - limit;
            case GseLib::LimitChecker::Equal:
                return 0.0;
            default:
                return std::abs(v - limit);
        }
    }
};

/// A finished span, before it takes its place among the item's others.
struct Span {
    const Track* track;
    size_t first;
    size_t last;
    size_t worstAt;
    double worst;
    bool open;
};

}  // namespace

/// Appends spans to the report's columns.
class LimitSpanSink {
public:
    static void append(LimitViolations& r, int hkid, const std::string& mnemonic,
                       const ItemSeries& series, const Span& s) {
        const Track& t = *s.track;
        r.ids_.push_back(hkid);
        r.mnemonics_.push_back(mnemonic);
        r.sets_.push_back(t.set);
        r.levels_.push_back(t.level);
        r.valueModes_.push_back(static_cast<int>(t.checker->valueMode()));
        r.comparisons_.push_back(t.checker->comparison());
        r.limits_.push_back(t.limit);
        r.startUnix_.push_back(series.unixTimes()[s.first]);
        r.endUnix_.push_back(series.unixTimes()[s.last]);
        r.startRelative_.push_back(series.relativeTimes()[s.first]);
        r.endRelative_.push_back(series.relativeTimes()[s.last]);
        r.firstPackets_.push_back(series.packets()[s.first]);
        r.lastPackets_.push_back(series.packets()[s.last]);
        r.samples_.push_back(int64_t(s.last - s.first + 1));
        r.worst_.push_back(s.worst);
        r.worstUnix_.push_back(series.unixTimes()[s.worstAt]);
        r.worstRelative_.push_back(series.relativeTimes()[s.worstAt]);
        r.open_.push_back(s.open);
    }
};

LimitViolations::LimitViolations(const std::vector<int>& hkids, bool redOnly) {
    const GseLib::DataInterpretation* di = GseLib::DataInterpretation::current();
    if (!di) {
        throw std::runtime_error("no telemetry database is loaded yet");
    }
    const GseLib::TelemetryDatabase* db = di->db();
    std::vector<int> ids = hkids;
    if (ids.empty() && db) {
        for (const uint32_t id : db->allIds()) {
            ids.push_back(int(id));
        }
        std::sort(ids.begin(), ids.end());
    }
    for (const int hkid : ids) {
        if (hkid < 0 || !db || !db->contains(uint32_t(hkid))) {
            throw std::invalid_argument("no database item has the id " + std::to_string(hkid));
        }
    }

    std::vector<Track> tracks;
    std::vector<Span> spans;
    for (const int hkid : ids) {
        const GseLib::TmDatabaseRow& row = db->row(uint32_t(hkid));
        const std::string mnemonic(row.key.constData(), size_t(row.key.size()));
        tracks.clear();
        const GseLib::LimitChecker* checkers[2] = {&row.limitChecker1, &row.limitChecker2};
        for (int set = 1; set <= 2; ++set) {
            const GseLib::LimitChecker& c = *checkers[set - 1];
            if (!c.isValid() || (!c.hasYellow() && !c.hasRed())) {
                continue;
            }
            if (!c.canConvert()) {
                GseLib::Diagnostics::report(
                    GseLib::Diagnostics::Kind::Config,
                    fmt::format("{} (id {}): limit set {} is in {} units, but the item has no "
                                "transfer function to them; its limits are not checked",
                                mnemonic, hkid, set, MODE_NAMES[static_cast<int>(c.valueMode())]));
                continue;
            }
            const int64_t persistence = c.persistence();
            if (c.hasYellow() && !redOnly) {
                tracks.push_back({set, Yellow, &c, c.yellow(), persistence});
            }
            if (c.hasRed()) {
                tracks.push_back({set, Red, &c, c.red(), persistence});
            }
        }
        if (tracks.empty()) {
            continue;  // an item without limits has no spans, and its values are not read
        }

        const ItemSeries series(hkid, 0);
        const std::vector<double>& raw = series.values();
        const size_t n = raw.size();
        spans.clear();
        auto close = [&spans](Track& t, size_t last, bool open) {
            if (t.run >= t.persistence) {
                spans.push_back({&t, t.first, last, t.worstAt, t.worst, open});
            }
            t.run = 0;
        };
        // One pass: each value converted once per set, then checked against the set's limits.
        const GseLib::LimitChecker* last = nullptr;
        for (size_t i = 0; i < n; ++i) {
            last = nullptr;
            double v = 0.0;
            int bits = 0;
            for (Track& t : tracks) {
                if (t.checker != last) {
                    last = t.checker;
                    v = t.checker->convert(raw[i]);
                    bits = t.checker->checkConverted(v);
                }
                if (bits & t.level) {
                    const double beyond = t.beyond(v);
                    if (t.run == 0 || beyond > t.worstBeyond) {
                        t.worstAt = i;
                        t.worstBeyond = beyond;
                        t.worst = v;
                    }
                    if (t.run == 0) {
                        t.first = i;
                    }
                    ++t.run;
                } else if (t.run > 0) {
                    close(t, i - 1, false);
                }
            }
        }
        for (Track& t : tracks) {
            if (t.run > 0) {
                close(t, n - 1, true);
            }
        }
        std::stable_sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) {
            if (a.first != b.first) {
                return a.first < b.first;
            }
            if (a.track->set != b.track->set) {
                return a.track->set < b.track->set;
            }
            return a.track->level < b.track->level;
        });
        for (const Span& s : spans) {
            LimitSpanSink::append(*this, hkid, mnemonic, series, s);
        }
    }
}

}  // namespace k814util
