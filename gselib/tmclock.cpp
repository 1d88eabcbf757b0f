#include <gselib/tmclock.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <algorithm>
#include <cmath>
#include <limits>

namespace GseLib {

namespace {

// A JSON number that is a whole value within 32-bit range, else 0.
int jsonInt32(const QJsonValue& v) {
    if (!v.isDouble()) {
        return 0;
    }
    const double d = v.toDouble();
    if (!std::isfinite(d) || d != std::trunc(d) || d < std::numeric_limits<qint32>::min() ||
        d > std::numeric_limits<qint32>::max()) {
        return 0;
    }
    return static_cast<int>(d);
}

QDateTime parseIsoUtc(const QString& text) {
    return TMClock::asUtc(QDateTime::fromString(text, Qt::ISODateWithMs));
}

}  // namespace

QDateTime TMClock::asUtc(const QDateTime& dateTime) {
    if (!dateTime.isValid()) {
        return QDateTime();
    }
    return QDateTime(dateTime.date(), dateTime.time(), Qt::UTC);
}

TMClock::LeapSecond::LeapSecond(const QString& isoDateTime, int secs)
    : dateTime(parseIsoUtc(isoDateTime)), seconds(secs) {}

TMClock::LeapSecond::LeapSecond(const QDateTime& dt, int secs)
    : dateTime(TMClock::asUtc(dt)), seconds(secs) {}

TMClock::TMClock() = default;

TMClock::TMClock(const QString& jsonText) {
    const QJsonDocument doc = QJsonDocument::fromJson(jsonText.toUtf8());
    if (!doc.isNull()) {
        initFromJsonObject(doc.object());
    }
}

TMClock::TMClock(const QJsonObject& object) {
    initFromJsonObject(object);
}

void TMClock::initFromJsonObject(const QJsonObject& object) {
    const QJsonValue name = object.value(QStringLiteral("name"));
    name_ = name.isString() ? name.toString() : QString();

    const QJsonValue epoch = object.value(QStringLiteral("epoch"));
    if (epoch.isString()) {
        setEpoch(epoch.toString());
    } else {
        setEpoch(QDateTime());
    }

    initialLeapSecondsOffset_ = jsonInt32(object.value(QStringLiteral("leap_seconds_offset")));
    subSecsPerSec_ = jsonInt32(object.value(QStringLiteral("sub_seconds_per_second")));

    QList<LeapSecond> table;
    const QJsonValue leaps = object.value(QStringLiteral("leap_seconds"));
    if (leaps.isArray()) {
        for (const QJsonValue& entry : leaps.toArray()) {
            const QJsonObject o = entry.toObject();
            const QJsonValue dt = o.value(QStringLiteral("datetime"));
            table.append(LeapSecond(dt.isString() ? dt.toString() : QString(),
                                    jsonInt32(o.value(QStringLiteral("seconds")))));
        }
    }
    setLeapSecondsTable(table);
}

void TMClock::setEpoch(const QString& isoText) {
    setEpoch(parseIsoUtc(isoText));
}

void TMClock::setEpoch(const QDateTime& dateTime) {
    epoch_ = asUtc(dateTime);
    epochOffset_ = epoch_.isValid() ? epoch_.toSecsSinceEpoch() : 0;
}

void TMClock::setLeapSecondsTable(const QList<LeapSecond>& table) {
    leapSeconds_ = table;
    std::stable_sort(leapSeconds_.begin(), leapSeconds_.end(),
                     [](const LeapSecond& a, const LeapSecond& b) {
                         return a.dateTime.toMSecsSinceEpoch() < b.dateTime.toMSecsSinceEpoch();
                     });
    leapSecondOffsets_.clear();
    // Summed in 64 bits: entries are 32-bit each, and a table of a few absurd entries (a typo in
    // the clocks file) must not overflow. A total beyond 32 bits is held at the nearest limit.
    long long running = 0;
    for (const LeapSecond& leap : leapSeconds_) {
        running += leap.seconds;
        const long long total = std::clamp<long long>(running, std::numeric_limits<qint32>::min(),
                                                      std::numeric_limits<qint32>::max());
        leapSecondOffsets_.append({leap.dateTime.toSecsSinceEpoch(), static_cast<qint32>(total)});
    }
}

double TMClock::toUnixTime(long long seconds, long long subSeconds,
                           long long subSecondsPerSecond) const {
    long long t = seconds + epochOffset_ - initialLeapSecondsOffset_;
    if (!leapSecondOffsets_.isEmpty()) {
        const auto first = std::upper_bound(
            leapSecondOffsets_.cbegin(), leapSecondOffsets_.cend(), t,
            [](long long value, const LeapSecondOffset& o) { return value < o.unixSeconds; });
        if (first != leapSecondOffsets_.cbegin()) {
            const LeapSecondOffset& entry = *(first - 1);
            t -= entry.cumulative;
            // Just after a leap second the subtraction lands before the key; the reading
            // belongs to the second inserted at the key.
            if (t + 1 < entry.unixSeconds) {
                t += 1;
            }
        }
    }
    if (subSecsPerSec_ >= 1) {
        return static_cast<double>(t) +
               static_cast<double>(subSeconds) / static_cast<double>(subSecsPerSec_);
    }
    if (subSecondsPerSecond >= 1) {
        return static_cast<double>(t) +
               static_cast<double>(subSeconds) / static_cast<double>(subSecondsPerSecond);
    }
    return static_cast<double>(t);
}

QJsonObject TMClock::toJson() const {
    QJsonArray leaps;
    for (const LeapSecond& leap : leapSeconds_) {
        leaps.append(QJsonObject{{QStringLiteral("datetime"), leap.dateTime.toString(Qt::ISODate)},
                                 {QStringLiteral("seconds"), leap.seconds}});
    }
    QJsonObject out;
    out.insert(QStringLiteral("name"), name_);
    out.insert(QStringLiteral("epoch"),
               epoch_.isValid() ? QJsonValue(epoch_.toString(Qt::ISODate)) : QJsonValue());
    out.insert(QStringLiteral("sub_seconds_per_second"), static_cast<double>(subSecsPerSec_));
    out.insert(QStringLiteral("leap_seconds"), leaps);
    out.insert(QStringLiteral("leap_seconds_offset"), initialLeapSecondsOffset_);
    return out;
}

bool TMClock::operator==(const TMClock& other) const {
    return name_ == other.name_ && epoch_ == other.epoch_ &&
           initialLeapSecondsOffset_ == other.initialLeapSecondsOffset_ &&
           epochOffset_ == other.epochOffset_ && subSecsPerSec_ == other.subSecsPerSec_ &&
           leapSeconds_ == other.leapSeconds_ && leapSecondOffsets_ == other.leapSecondOffsets_;
}

QDebug operator<<(QDebug debug, const TMClock& clock) {
    QDebugStateSaver saver(debug);
    debug.noquote().nospace();
    debug << "TMClock ("
          << "\n\tname=" << '"' << clock.name() << '"'
          << "\n\tepoch=" << clock.epoch().toString(Qt::ISODate)
          << "\n\tsubsecspersec=" << clock.subSecsPerSec()
          << "\n\tleap_seconds_offset=" << clock.initialLeapSecondsOffset()
          << "\n\tleap_seconds: [";
    for (const TMClock::LeapSecond& leap : clock.leapSeconds()) {
        debug << "\n\t\t" << leap.dateTime.toString(Qt::ISODate) << ' ' << leap.seconds;
    }
    debug << "\n\t]\n)";
    return debug;
}

}  // namespace GseLib
