#include <gselib/quorcoreapp.h>

#include <gselib/config814.h>
#include <tools/logger/eventlogger.h>
#include <tools/logger/eventmessage.h>
#include <tools/util/appdefaults.h>
#include <tools/util/pluginmanager.h>

#include <QDir>

namespace GseLib {

QuorCoreApp::QuorCoreApp(int& argc, char** argv, int major, int minor, int patch,
                         const QString& build)
    : QCoreApplication(argc, argv) {
    setOrganizationDomain(QStringLiteral("quor"));
    setOrganizationName(QStringLiteral("quor"));
    napDisabled_ =
        AppDefaults::writeBool(appIdentifier(), QStringLiteral("NSAppSleepDisabled"), true);
    setApplicationVersion(versionText(major, minor, patch, build));
}

QuorCoreApp::~QuorCoreApp() = default;

QString QuorCoreApp::appIdentifier() {
    return QStringLiteral("com.%1.%2").arg(organizationName(), applicationName());
}

QString QuorCoreApp::versionText(int major, int minor, int patch, const QString& build) {
    return QStringLiteral("%1.%2.%3.%4 Built: Qt %5 Runtime: Qt %6")
        .arg(major)
        .arg(minor)
        .arg(patch)
        .arg(build, QStringLiteral(QT_VERSION_STR), QString::fromLatin1(qVersion()));
}

void QuorCoreApp::initializeLogger(const LoggerConfig& config) {
    if (logger_) {
        logger_->configure(config);
        return;
    }
    logger_ = new EventLogger(config, this);
}

EventLogger* QuorCoreApp::logger() const {
    return logger_.data();
}

int QuorCoreApp::loadPlugins(const QStringList& paths,
                             const QList<QRegularExpression>& classFilters) {
    if (!pluginManager_) {
        pluginManager_ = new PluginManager(this);
    }
    pluginManager_->setClassFilters(classFilters);
    return paths.isEmpty() ? pluginManager_->loadPlugins() : pluginManager_->loadPlugins(paths);
}

PluginManager* QuorCoreApp::pluginManager() const {
    return pluginManager_.data();
}

void QuorCoreApp::initializeConfig814(const QString& group) {
    const QString selected = group.isEmpty() ? Config814::getDefaultGroupFromIni() : group;
    Config814::setDefaultGroup(selected);
    if (!Config814::verify(selected)) {
        Config814::throwInvalidGroupException(selected);
    }
    const QString oldDir = QDir::currentPath();
    const QString newDir = Config814::getGsePath(selected);
    QDir::setCurrent(newDir);
    GSE_LOG_INFO("config814", QStringLiteral("changed dir from '") + oldDir +
                                  QStringLiteral("' to '") + newDir + QStringLiteral("'"));
}

}  // namespace GseLib
