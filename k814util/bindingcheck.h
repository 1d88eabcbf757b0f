#pragma once

#include <QString>
#include <QStringList>

namespace k814util {

/**
 * @brief What binding the process to a telemetry file needs to know about it, and the first
 * reason it cannot be bound.
 *
 * The checks and their one-line messages are those of module initialisation, which prints the
 * line and ends the process; the script-side factories raise it as an exception instead.
 */
struct BindingCheck {
    enum Failure { None, MissingFile, NoTmMeta, InvalidGroup, UnsupportedMission };

    Failure failure = None;
    /// The line initialisation prints for the failure; empty when there is none.
    QString message;
    /// What exactly is missing (the configuration file, a group, a key or the path it names);
    /// empty when that is not known.
    QString detail;
    QString absolutePath;
    QString mission;
    QString group;
    QStringList patchFiles;
    /// The TID tm.meta gives.
    int tid = 0;

    bool ok() const { return failure == None; }
    bool isVireo() const;
    bool isTarn() const;

    /**
     * Checks the file, its tm.meta and its configuration group; with checkMission also that
     * the mission is one this module can bind. The group becomes the default configuration
     * group when it passes.
     */
    static BindingCheck check(const QString& path, bool checkMission);
    /// Records the failure for a mission this module cannot bind; returns ok().
    bool checkMission();
};

}  // namespace k814util
