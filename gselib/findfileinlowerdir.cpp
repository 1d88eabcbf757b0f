#include <gselib/findfileinlowerdir.h>

#include <QDir>
#include <QTimeZone>

namespace Tools {

namespace {

QDateTime dateOf(const QString& text) {
    for (const char* format : {"yyyyMMddhhmmss", "yyyy-MM-ddThh:mm:ss", "yyyyMMdd", "yyyy-MM-dd"}) {
        QDateTime t = QDateTime::fromString(text, QString::fromLatin1(format));
        if (t.isValid()) {
            return QDateTime(t.date(), t.time(), QTimeZone::utc());
        }
    }
    return QDateTime();
}

}  // namespace

QString findFileInLowerDir(const QString& directory, const QDateTime& when, const QString& prefix,
                           const QString& suffix) {
    const QDir dir(directory);
    QString best;
    QDateTime bestTime;
    const QStringList names = dir.entryList({prefix + QLatin1Char('*') + suffix}, QDir::Files);
    for (const QString& name : names) {
        const QString middle = name.mid(prefix.size(), name.size() - prefix.size() - suffix.size());
        const QDateTime t = dateOf(middle);
        if (t.isValid() && t <= when && (!bestTime.isValid() || t > bestTime)) {
            best = dir.absoluteFilePath(name);
            bestTime = t;
        }
    }
    return best;
}

}  // namespace Tools
