#include <gselib/applywhen.h>

#include <gselib/datainterpretation.h>
#include <tools/logger/eventmessage.h>

#include <QStringList>
#include <cmath>

namespace GseLib {

ApplyWhen ApplyWhen::fromString(const QString& text) {
    ApplyWhen result;
    for (const QString& part : text.split(QLatin1Char(';'))) {
        const QString condition = part.trimmed();
        if (condition.isEmpty()) {
            continue;
        }
        const QStringList sides = condition.split(QLatin1Char('='));
        bool ok = false;
        int id = sides.first().trimmed().toInt(&ok, 10);
        if (!ok) {
            id = 0;
        }
        const QStringList bounds = sides.last().split(QStringLiteral(".."));
        bool okMin = false;
        bool okMax = false;
        long long min = bounds.first().trimmed().toLongLong(&okMin, 10);
        long long max = bounds.last().trimmed().toLongLong(&okMax, 10);
        if (!okMin || !okMax) {
            GSE_LOG_WARN("ApplyWhen",
                         QStringLiteral("Failed to convert apply when string:") + condition);
            min = okMin ? min : 0;
            max = okMax ? max : 0;
        }
        if (min > max) {
            std::swap(min, max);
        }
        result.addCondition(id, {min, max});
    }
    return result;
}

void ApplyWhen::addCondition(int id, Range<long long> range) {
    conditions_.push_back({id, range});
}

bool ApplyWhen::passes(const RawValueLookup& rawValue) const {
    for (const Condition& c : conditions_) {
        bool ok = false;
        const double value = rawValue(c.id, &ok);
        if (!ok || !std::isfinite(value)) {
            return false;
        }
        if (!c.range.contains(static_cast<long long>(value))) {
            return false;
        }
    }
    return true;
}

bool ApplyWhen::passes(const DataInterpretation* di, const TMPacket* packet) const {
    if (conditions_.empty()) {
        return true;
    }
    return passes([di, packet](int id, bool* ok) {
        return di->getValue(id, packet, Gse::ValueMode::Raw, ok, false, nullptr);
    });
}

std::ostream& operator<<(std::ostream& out, const ApplyWhen& applyWhen) {
    bool first = true;
    for (const ApplyWhen::Condition& c : applyWhen.conditions()) {
        if (!first) {
            out << ';';
        }
        first = false;
        out << c.id << '=' << c.range.min << ".." << c.range.max;
    }
    return out;
}

}  // namespace GseLib
