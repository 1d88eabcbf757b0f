#pragma once

#include <QDateTime>
#include <QDebug>
#include <QJsonObject>
#include <QList>
#include <QString>

namespace GseLib {

/**
 * @brief A named instrument clock: epoch, sub-second denominator and leap seconds.
 *
 * Turns a clock reading held in a telemetry field (whole seconds plus a sub-second count) into
 * Unix seconds. Every date-time it holds is UTC with its fields as written: a zone designator in
 * the text does not shift them.
 */
class TMClock {
public:
    /// One leap second entry: the instant and the seconds inserted there.
    struct LeapSecond {
        LeapSecond() = default;
        LeapSecond(const QString& isoDateTime, int seconds);
        LeapSecond(const QDateTime& dateTime, int seconds);
        QDateTime dateTime;
        int seconds = 0;
        bool operator==(const LeapSecond& o) const {
            return dateTime == o.dateTime && seconds == o.seconds;
        }
        bool operator!=(const LeapSecond& o) const { return !(*this == o); }
    };

    /// Unix seconds of a leap second and the cumulative count up to and including it.
    struct LeapSecondOffset {
        qint64 unixSeconds = 0;
        qint32 cumulative = 0;
        bool operator==(const LeapSecondOffset& o) const {
            return unixSeconds == o.unixSeconds && cumulative == o.cumulative;
        }
        bool operator!=(const LeapSecondOffset& o) const { return !(*this == o); }
    };

    TMClock();
    /// Parses jsonText; a text that is not JSON leaves the clock default.
    explicit TMClock(const QString& jsonText);
    explicit TMClock(const QJsonObject& object);

    void initFromJsonObject(const QJsonObject& object);

    void setName(const QString& name) { name_ = name; }
    void setEpoch(const QString& isoText);
    void setEpoch(const QDateTime& dateTime);
    void setInitialLeapSecondsOffset(int seconds) { initialLeapSecondsOffset_ = seconds; }
    void setSubSecsPerSec(long long value) { subSecsPerSec_ = value; }
    /// Stores the table sorted by date-time and rebuilds the cumulative offsets.
    void setLeapSecondsTable(const QList<LeapSecond>& table);

    QString name() const { return name_; }
    QDateTime epoch() const { return epoch_; }
    int initialLeapSecondsOffset() const { return initialLeapSecondsOffset_; }
    qint64 epochOffset() const { return epochOffset_; }
    long long subSecsPerSec() const { return subSecsPerSec_; }
    QList<LeapSecond> leapSeconds() const { return leapSeconds_; }
    QList<LeapSecondOffset> leapSecondOffsets() const { return leapSecondOffsets_; }

    /// Unix seconds of a clock reading; the clock's own denominator wins over the argument.
    double toUnixTime(long long seconds, long long subSeconds, long long subSecondsPerSecond) const;

    QJsonObject toJson() const;

    bool operator==(const TMClock& other) const;
    bool operator!=(const TMClock& other) const { return !(*this == other); }

    /// The same fields and values, forced to UTC.
    static QDateTime asUtc(const QDateTime& dateTime);

private:
    QString name_;
    QDateTime epoch_;
    int initialLeapSecondsOffset_ = 0;
    qint64 epochOffset_ = 0;
    long long subSecsPerSec_ = 0;
    QList<LeapSecond> leapSeconds_;
    QList<LeapSecondOffset> leapSecondOffsets_;
};

QDebug operator<<(QDebug debug, const TMClock& clock);

}  // namespace GseLib
