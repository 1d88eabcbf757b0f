#pragma once

#include <tools/logger/loggerconfig.h>

#include <QObject>
#include <QString>
#include <QStringList>

/**
 * @brief The process's event logger object.
 *
 * Library code never talks to it directly: `GSE_LOG_*` messages look it up with `instance()` and
 * deliver through its invokable `sendMessage`. Only one exists per process; it registers itself on
 * construction and unregisters on destruction. There is no network client here: a configuration
 * with local output echoes accepted messages to standard error, and a disabled one drops them.
 */
class EventLogger : public QObject {
    Q_OBJECT
public:
    explicit EventLogger(const LoggerConfig& config, QObject* parent = nullptr);
    ~EventLogger() override;

    /// The process's logger, or null when none was created.
    static EventLogger* instance();

    void configure(const LoggerConfig& config);
    LoggerConfig config() const { return config_; }

    /// Number of messages accepted (not dropped) so far.
    qint64 acceptedCount() const { return accepted_; }
    /// Number of messages dropped by the configuration so far.
    qint64 droppedCount() const { return dropped_; }

    Q_INVOKABLE void sendMessage(const QString& category, const QString& file, int line, int level,
                                 const QString& text);

signals:
    /// Emitted for every accepted message, so in-process observers can follow the log.
    void messageAccepted(const QString& category, int level, const QString& text);

private:
    LoggerConfig config_;
    qint64 accepted_ = 0;
    qint64 dropped_ = 0;
};
