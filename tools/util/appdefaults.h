#pragma once

#include <QString>
#include <QStringList>

/**
 * @brief Writes application defaults through the operating system's "defaults" command.
 *
 * The command only exists on macOS workstations. Where it cannot be found on the PATH nothing
 * is run and `writeBool` reports false, so the application object behaves the same everywhere
 * except for the side effect on the system's defaults database.
 */
class AppDefaults {
public:
    /// Name of the command that is looked up on the PATH.
    static const QString COMMAND;

    /// The full path of the "defaults" command, or empty when the system has none.
    static QString commandPath();

    /// The arguments of a boolean write: "write", domain, key, "-bool", "YES" or "NO".
    static QStringList boolWriteArguments(const QString& domain, const QString& key, bool value);

    /**
     * Runs "defaults write <domain> <key> -bool YES|NO" and waits for it.
     * @return true when the command was found, ran and exited with status 0.
     */
    static bool writeBool(const QString& domain, const QString& key, bool value);
};
