#include <tools/logger/loggerconfig.h>

LoggerConfig LoggerConfig::noLogging() {
    LoggerConfig config;
    config.setLoggingEnabled(false);
    config.setLocalOutput(false);
    return config;
}

QString LoggerConfig::levelName(int level) {
    switch (level) {
        case TRACE:
            return QStringLiteral("TRACE");
        case DEBUG:
            return QStringLiteral("DEBUG");
        case INFO:
            return QStringLiteral("INFO");
        case WARN:
            return QStringLiteral("WARN");
        case ERROR:
            return QStringLiteral("ERROR");
        case FATAL:
            return QStringLiteral("FATAL");
        case CMD:
            return QStringLiteral("CMD");
        default:
            return QString::number(level);
    }
}
