#pragma once

#include <QString>

/**
 * @brief Configuration of the station's event logger client.
 *
 * The interactive station tools send their messages to a log server; scripts never do, so the
 * module hands the logger `noLogging()`, which drops every message.
 */
class LoggerConfig {
public:
    /// Levels of event messages; a message below the configured level is dropped.
    enum Level { TRACE = 0, DEBUG = 1, INFO = 2, WARN = 3, ERROR = 4, FATAL = 5, CMD = 10 };

    LoggerConfig() = default;

    /// A configuration with logging switched off altogether.
    static LoggerConfig noLogging();

    bool loggingEnabled() const { return enabled_; }
    void setLoggingEnabled(bool on) { enabled_ = on; }

    int level() const { return level_; }
    void setLevel(int level) { level_ = level; }

    /// Whether messages are also echoed to standard error.
    bool localOutput() const { return localOutput_; }
    void setLocalOutput(bool on) { localOutput_ = on; }

    QString serverAddress() const { return serverAddress_; }
    void setServerAddress(const QString& address) { serverAddress_ = address; }
    quint16 serverPort() const { return serverPort_; }
    void setServerPort(quint16 port) { serverPort_ = port; }

    static QString levelName(int level);

private:
    bool enabled_ = true;
    int level_ = INFO;
    bool localOutput_ = true;
    QString serverAddress_ = QStringLiteral("127.0.0.1");
    quint16 serverPort_ = 0;
};
