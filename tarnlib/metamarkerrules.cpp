#include <tarnlib/metamarkerrules.h>

#include <tarnlib/metamarker.h>
#include <tarnlib/metamarkerids.h>
#include <tools/logger/diagnostics.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <cmath>
#include <cstdio>

namespace TarGse {

namespace K = MetaMarkerJsonKeys;
namespace V = MetaMarkerJsonValues;

namespace {

void report(const char* function, const QString& text) {
    GseLib::Diagnostics::report(GseLib::Diagnostics::Kind::Rules,
                                QString::fromLatin1(function) + QLatin1Char(':') + text);
}

bool isInteger(const QString& piece) {
    bool ok = false;
    piece.trimmed().toLongLong(&ok);
    return ok;
}

// Ids are whole numbers: a fraction (or a number beyond the id's type) would be read as another
// id, so it is refused with the field's own message.
bool isWholeNumber(const QJsonValue& v, double min, double max) {
    if (!v.isDouble()) {
        return false;
    }
    const double d = v.toDouble();
    return d == std::trunc(d) && d >= min && d <= max;
}

bool validTids(const QString& tids) {
    static const QRegularExpression separators(QStringLiteral("[,-]"));
    for (const QString& piece : tids.split(separators)) {
        if (!isInteger(piece)) {
            return false;
        }
    }
    return true;
}

bool validConditions(const QString& path, int rule, const QJsonArray& conditions, bool start) {
    const char* fn = "isValidMetamarkerRuleFile";
    const QString which =
        start ? QStringLiteral("start_condition") : QStringLiteral("end_condition");
    const QStringList allowed =
        start ? QStringList{V::MARKER, V::MESSAGE}
              : QStringList{V::MARKER, V::DURATION, V::MESSAGE, V::NEXT_MARKER};
    for (qsizetype j = 0; j < conditions.size(); ++j) {
        if (!isValidTriggerCondition(conditions[j])) {
            report(fn, QStringLiteral(
                           " %1 meta marker rule at index %2 does not have valid %3 at index %4")
                           .arg(path)
                           .arg(rule)
                           .arg(which)
                           .arg(j));
            return false;
        }
        const QString type = conditions[j].toObject().value(K::TYPE).toString();
        if (!allowed.contains(type)) {
            report(fn, QStringLiteral(
                           " %1 meta marker rule %2 at index %3 contains invalid trigger type: %4")
                           .arg(path, which)
                           .arg(j)
                           .arg(type));
            return false;
        }
    }
    return true;
}

}  // namespace

bool isValidTriggerCondition(const QJsonValue& condition) {
    const char* fn = "isValidTriggerCondition";
    if (!condition.isObject()) {
        report(fn, QStringLiteral(" trigger condition is not a JSON object. "));
        return false;
    }
    const QJsonObject c = condition.toObject();
    if (!c.value(K::TYPE).isString()) {
        report(fn, QStringLiteral(" trigger condition contains invalid type. "));
        return false;
    }
    const QString type = c.value(K::TYPE).toString();
    if (type == V::MARKER) {
        if (!isWholeNumber(c.value(K::MARKER), 0.0, 4294967295.0)) {
            report(fn, QStringLiteral(" invalid 'MARKER' field "));
            return false;
        }
        if (!c.value(K::OFFSET_IN_SECONDS).isDouble()) {
            report(fn, QStringLiteral(" invalid 'offset_in_seconds' field"));
            return false;
        }
        for (const QString& key :
             {K::SEB_TEST_ENABLED, K::HIGH_VOLTAGE_TEST_ENABLED, K::LASER_EBT_TEST_ENABLED,
              K::GC_EBT_TEST_ENABLED, K::HEATER_TEST_ENABLED}) {
            if (c.contains(key) && !c.value(key).isBool()) {
                report(fn, QStringLiteral(" invalid '%1' field").arg(key));
                return false;
            }
        }
        return true;
    }
    if (type == V::DURATION) {
        if (!c.value(K::NUMBER_OF_SECONDS).isDouble()) {
            report(fn, QStringLiteral(" invalid 'number_of_seconds' field "));
            return false;
        }
        return true;
    }
    if (type == V::MESSAGE) {
        if (!c.value(K::REGEX).isString()) {
            report(fn, QStringLiteral(" invalid 'regex' field "));
            return false;
        }
        if (!c.value(K::CASE_SENSITIVE).isBool()) {
            report(fn, QStringLiteral(" invalid 'case_sensitive' field "));
            return false;
        }
        if (!c.value(K::OFFSET_IN_SECONDS).isDouble()) {
            report(fn, QStringLiteral(" invalid 'offset_in_seconds' field "));
            return false;
        }
        return true;
    }
    if (type == V::NEXT_MARKER) {
        return true;
    }
    report(fn, QStringLiteral(" unknown trigger type: ") + type);
    return false;
}

bool isValidMetamarkerRuleFile(const QFileInfo& file) {
    const char* fn = "isValidMetamarkerRuleFile";
    const QString path = file.absoluteFilePath();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        report(fn, QStringLiteral(" Could not open ") + path + QStringLiteral(" for reading."));
        return false;
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &error);
    if (doc.isNull()) {
        report(fn, QStringLiteral(" Failed to parse ") + path + QStringLiteral(" contents:") +
                       error.errorString());
        return false;
    }
    const QJsonObject root = doc.object();
    if (!root.contains(K::METAMARKERS)) {
        report(fn,
               QStringLiteral(" %1 does not have %2 as its root key.").arg(path, K::METAMARKERS));
        return false;
    }
    if (!root.value(K::METAMARKERS).isArray()) {
        report(fn, QStringLiteral(" %1 does not have %2 as an array.").arg(path, K::METAMARKERS));
        return false;
    }
    const QJsonArray rules = root.value(K::METAMARKERS).toArray();
    for (qsizetype i = 0; i < rules.size(); ++i) {
        if (!rules[i].isObject()) {
            report(fn, QStringLiteral(" %1 does not have a JSON object for the element at index %2")
                           .arg(path)
                           .arg(i));
            return false;
        }
        const QJsonObject rule = rules[i].toObject();
        if (!rule.value(K::TIDS).isString()) {
            report(fn,
                   QStringLiteral(" %1 does not have a string for the 'tids' element at index %2")
                       .arg(path)
                       .arg(i));
            return false;
        }
        if (!validTids(rule.value(K::TIDS).toString())) {
            report(fn, QStringLiteral(
                           " %1 meta marker rule at index %2 contains invalid TID specifier: %3")
                           .arg(path)
                           .arg(i)
                           .arg(rule.value(K::TIDS).toString()));
            return false;
        }
        if (!isWholeNumber(rule.value(K::METAMARKER_ID), -HUGE_VAL, HUGE_VAL)) {
            report(fn,
                   QStringLiteral(" %1 meta marker rule at index %2 contains invalid or missing "
                                  "meta_marker_id.")
                       .arg(path)
                       .arg(i));
            return false;
        }
        const double id = rule.value(K::METAMARKER_ID).toDouble();
        if (id < MIN_META_MARKER_ID || id > MAX_META_MARKER_ID) {
            report(fn,
                   QStringLiteral(" %1 meta marker rule at index %2 meta marker ID %3 is not in "
                                  "the range [%4, %5]")
                       .arg(path)
                       .arg(i)
                       .arg(id)
                       .arg(MIN_META_MARKER_ID)
                       .arg(MAX_META_MARKER_ID));
            return false;
        }
        if (!rule.value(K::METAMARKER_TEXT).isString()) {
            report(fn,
                   QStringLiteral(" %1 meta marker rule at index %2 contains invalid or missing "
                                  "meta_marker_text. ")
                       .arg(path)
                       .arg(i));
            return false;
        }
        for (const bool start : {true, false}) {
            const QString key = start ? K::START_CONDITIONS : K::END_CONDITIONS;
            if (!rule.value(key).isArray()) {
                report(fn, QStringLiteral(" %1 meta marker rule at index %2 does not have %3 as an "
                                          "array. ")
                               .arg(path)
                               .arg(i)
                               .arg(key));
                return false;
            }
            if (!validConditions(path, int(i), rule.value(key).toArray(), start)) {
                return false;
            }
        }
    }
    return true;
}

bool tidsCover(const QString& tids, int tid) {
    for (const QString& piece : tids.split(QLatin1Char(','))) {
        if (piece.count(QLatin1Char('-')) == 1) {
            const QStringList ends = piece.split(QLatin1Char('-'));
            bool ok0 = false;
            bool ok1 = false;
            const long long lo = ends[0].trimmed().toLongLong(&ok0);
            const long long hi = ends[1].trimmed().toLongLong(&ok1);
            if (ok0 && ok1 && tid >= lo && tid <= hi) {
                return true;
            }
        } else {
            bool ok = false;
            if (piece.trimmed().toLongLong(&ok) == tid && ok) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace TarGse
