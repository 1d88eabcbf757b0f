#pragma once

#include <tools/logger/loggerconfig.h>

#include <QCoreApplication>
#include <QList>
#include <QPointer>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

class EventLogger;
class PluginManager;

namespace GseLib {

/**
 * @brief The process's core application object.
 *
 * Sets organisation "quor", the version text, and asks the operating system not to nap the
 * process (through the "defaults" command where the system has one). It owns the event logger
 * once `initializeLogger` has run.
 */
class QuorCoreApp : public QCoreApplication {
    Q_OBJECT
public:
    QuorCoreApp(int& argc, char** argv, int major, int minor, int patch, const QString& build);
    ~QuorCoreApp() override;

    /// "com.<organisation>.<application>", the domain used for the nap setting.
    static QString appIdentifier();
    /// "<major>.<minor>.<patch>.<build> Built: Qt <x> Runtime: Qt <y>".
    static QString versionText(int major, int minor, int patch, const QString& build);

    /// Creates the event logger on first use, else reconfigures it.
    void initializeLogger(const LoggerConfig& config);
    EventLogger* logger() const;

    /**
     * Creates the plug-in manager on first use, sets its class filters and loads the plug-ins of
     * paths (the manager's default location when paths is empty).
     * @return the number of plug-ins this call registered
     */
    int loadPlugins(const QStringList& paths, const QList<QRegularExpression>& classFilters);
    /// The plug-in manager, or null before the first `loadPlugins`.
    PluginManager* pluginManager() const;

    /**
     * Selects group (or the INI default group when empty), verifies it and changes the working
     * directory to the group's "gse" path.
     * @throw std::runtime_error when the group is invalid or has no default
     */
    void initializeConfig814(const QString& group);

    /// Whether the nap setting was written through the system's "defaults" command.
    bool napDisabled() const { return napDisabled_; }

private:
    QPointer<EventLogger> logger_;
    QPointer<PluginManager> pluginManager_;
    bool napDisabled_ = false;
};

}  // namespace GseLib
