#include <k814util/bindingcheck.h>

#include <gselib/config814.h>
#include <gselib/gse.h>
#include <gselib/tmmeta.h>
#include <k814util/k814util.h>

#include <QFileInfo>
#include <QSettings>
#include <stdexcept>

namespace k814util {

namespace {

// What makes a group fail verification: the configuration file, the group, or the first
// required key that is not set or names a path that does not exist.
QString whatIsMissing(const QString& group) {
    using GseLib::Config814;
    const QString ini = Config814::getConfigPath();
    if (!QFileInfo(ini).isFile()) {
        return QStringLiteral("the configuration file %1 does not exist").arg(ini);
    }
    const QSettings settings(ini, QSettings::IniFormat);
    if (!settings.childGroups().contains(group, Qt::CaseSensitive)) {
        return QStringLiteral("the configuration file %1 has no group [%2]").arg(ini, group);
    }
    for (const QString& key : Config814::requiredKeys()) {
        const QString value = settings.value(group + QLatin1Char('/') + key).toString();
        if (value.isEmpty()) {
            return QStringLiteral("[%1] %2 is not set in %3").arg(group, key, ini);
        }
        if (!QFileInfo::exists(value)) {
            return QStringLiteral("[%1] %2 names %3, which does not exist").arg(group, key, value);
        }
    }
    return QString();
}

bool sameMission(const QString& mission, const std::wstring& name) {
    return mission.compare(QString::fromStdWString(name), Qt::CaseInsensitive) == 0;
}

}  // namespace

bool BindingCheck::isVireo() const {
    return sameMission(mission, Gse::MISSION_VIREO);
}

bool BindingCheck::isTarn() const {
    return sameMission(mission, Gse::MISSION_TARN);
}

BindingCheck BindingCheck::check(const QString& path, bool checkMission) {
    BindingCheck c;
    const QFileInfo file(path);
    if (path.isEmpty() || !file.exists()) {
        c.failure = MissingFile;
        c.message = QStringLiteral("tmfile does not exist: ") + path;
        return c;
    }
    c.absolutePath = file.absoluteFilePath();
    const GseLib::TmMeta meta(file.absolutePath());
    if (!meta.isValid()) {
        c.failure = NoTmMeta;
        c.message = QStringLiteral("A valid tm.meta could not be found for ") + c.absolutePath;
        return c;
    }
    c.mission = meta.mission();
    c.group = meta.config814Group();
    c.patchFiles = meta.patchFiles();
    c.tid = meta.tid();
    // The keys a group must have depend on its mission, which the default group selects; a
    // failed check puts the previous default back, so the current binding keeps its group.
    const QString previousGroup = GseLib::Config814::getDefaultGroup();
    GseLib::Config814::setDefaultGroup(c.group);
    bool verified = false;
    try {
        verified = GseLib::Config814::verify(c.group);
    } catch (const std::runtime_error&) {
        verified = false;  // no configuration file, or no such group in it
    }
    if (!verified) {
        c.failure = InvalidGroup;
        c.message = c.group +
                    QStringLiteral(" in .814config.INI either does not exist or is invalid for ") +
                    c.absolutePath;
        c.detail = whatIsMissing(c.group);
    } else if (checkMission) {
        c.checkMission();
    }
    if (!c.ok() && !previousGroup.isEmpty()) {
        GseLib::Config814::setDefaultGroup(previousGroup);
    }
    return c;
}

bool BindingCheck::checkMission() {
    if (!isVireo() && !isTarn()) {
        failure = UnsupportedMission;
        message = QStringLiteral("Unsupported mission ") + mission + QStringLiteral(" for ") +
                  absolutePath;
    }
    return ok();
}

}  // namespace k814util
