#include <tools/logger/eventmessage.h>

#include <tools/logger/diagnostics.h>
#include <tools/logger/eventlogger.h>

#include <QMetaObject>
#include <cstdio>

namespace GseLib {

void logEvent(const char* category, const char* file, int line, int level, const QString& text) {
    const QString cat = QString::fromUtf8(category);
    if (EventLogger* logger = EventLogger::instance()) {
        QMetaObject::invokeMethod(logger, "sendMessage", Qt::DirectConnection, Q_ARG(QString, cat),
                                  Q_ARG(QString, QString::fromUtf8(file)), Q_ARG(int, line),
                                  Q_ARG(int, level), Q_ARG(QString, text));
        return;
    }
    Diagnostics::report(Diagnostics::Kind::Event,
                        QStringLiteral("%1 %2: %3").arg(LoggerConfig::levelName(level), cat, text));
}

}  // namespace GseLib
