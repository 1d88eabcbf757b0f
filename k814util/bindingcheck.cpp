#include <k814util/bindingcheck.h>

#include <gselib/config814.h>
#include <gselib/gse.h>
#include <gselib/tmmeta.h>
#include <k814util/k814util.h>

#include <QFileInfo>
#include <stdexcept>

namespace k814util {

// Set by binding (in the module); the script objects refuse to work before it.
bool k814utilIsInitialized = false;

namespace {

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
