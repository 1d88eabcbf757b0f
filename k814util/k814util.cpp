// The module's process-wide state and its binding to one telemetry file.

#include <k814util/k814util.h>

#include <gselib/config814.h>
#include <gselib/datainterpretation.h>
#include <gselib/msglogcache.h>
#include <gselib/quorcoreapp.h>
#include <gselib/telemetryfile.h>
#include <k814util/bindingcheck.h>
#include <plugins/plugins.h>
#include <tarnlib/metamarkercache.h>
#include <tarnlib/sebcmdinterpreter.h>
#include <tarnlib/tardatainterpretation.h>
#include <tarnlib/tartelemetrycache.h>
#include <tools/logger/loggerconfig.h>
#include <vireolib/vireodatainterpretation.h>
#include <vireolib/vireotelemetrycache.h>

#include <QRegularExpression>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

// The built-in makers are linked in statically; register them before anything can ask for them.
K814_IMPORT_BUILTIN_PLUGINS()

namespace k814util {

int argc = 0;
GseLib::QuorCoreApp app(argc, nullptr, 0, 0, 0, QString());
TarGse::TarDataInterpretationFactory tarnDataInterpretationFactory;
VireoGse::VireoDataInterpretationFactory vireoDataInterpretationFactory;

namespace {

// The absolute path of the file the process is bound to.
QString boundPath;
bool loggingOff = false;

// Scripts get no station log client: messages of the libraries are dropped.
void switchLoggingOff() {
    if (!loggingOff) {
        app.initializeLogger(LoggerConfig::noLogging());
        loggingOff = true;
    }
}

[[noreturn]] void fail(const QString& line) {
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
    std::exit(1);
}

// Lines of the previous file must not mix with this one's, and its text items are read with
// this file's database.
void resetMessageLog() {
    GseLib::MsgLogCache& log = GseLib::MsgLogCache::getInstance();
    log.resetState();
    log.clearMnemonics();
    log.setMnemonics(GseLib::MsgLogCache::defaultMnemonics());
}

void bindVireo(const BindingCheck& c) {
    boundPath.clear();
    GseLib::DataInterpretation::init(&vireoDataInterpretationFactory, true, app.pluginManager(),
                                     c.patchFiles);
    GseLib::TelemetryFile::setSharedCache(new VireoGse::VireoTelemetryCache);
    GseLib::TelemetryFile::setSharedCacheFile(c.absolutePath.toStdString());
    resetMessageLog();
    TarGse::MetaMarkerCache::getInstance().resetState();
    boundPath = c.absolutePath;
    k814utilIsInitialized = true;
}

void bindTarn(const BindingCheck& c) {
    boundPath.clear();
    GseLib::DataInterpretation::init(&tarnDataInterpretationFactory, true, app.pluginManager(),
                                     c.patchFiles);
    // The database counts offsets from the data field; TOM packets put 8 header bytes first.
    GseLib::DataInterpretation::current()->updatePktOffsets(
        TarGse::TarDataInterpretation::PKT_OFFSET_DELTA);
    GseLib::TelemetryFile::setSharedCache(new TarGse::TarTelemetryCache);
    GseLib::TelemetryFile::setSharedCacheFile(c.absolutePath.toStdString());
    resetMessageLog();
    // Raises for a missing or malformed command definition file, after engine and packets are
    // in place; a process not bound before stays unbound.
    TarGse::SebCmdInterpreter::createInterpreters();
    TarGse::MetaMarkerCache::getInstance().resetState();
    boundPath = c.absolutePath;
    k814utilIsInitialized = true;
}

}  // namespace

void loadPlugins(const QString& mission) {
    if (app.pluginManager()) {
        return;
    }
    const QList<QRegularExpression> filters = {
        QRegularExpression(QRegularExpression::wildcardToRegularExpression(mission + "*"),
                           QRegularExpression::CaseInsensitiveOption),
        QRegularExpression(QRegularExpression::wildcardToRegularExpression("Generic*"),
                           QRegularExpression::CaseInsensitiveOption)};
    app.loadPlugins(QStringList(), filters);
}

void initK814Util(std::string telemetryFilename) {
    if (!k814utilIsInitialized) {
        switchLoggingOff();
    }
    BindingCheck c = BindingCheck::check(QString::fromStdString(telemetryFilename), false);
    if (!c.ok()) {
        fail(c.message);
    }
    loadPlugins(c.mission);
    if (!c.checkMission()) {
        fail(c.message);
    }
    if (c.isTarn()) {
        bindTarn(c);
    } else {
        bindVireo(c);
    }
}

void bindTelemetryFile(const std::string& path) {
    switchLoggingOff();
    BindingCheck c = BindingCheck::check(QString::fromStdString(path), true);
    if (!c.ok()) {
        throw std::runtime_error(c.message.toStdString());
    }
    if (k814utilIsInitialized && c.absolutePath == boundPath &&
        GseLib::TelemetryFile::sharedCache()) {
        GseLib::TelemetryFile::updateSharedCache();
        return;
    }
    initK814Util(path);
}

}  // namespace k814util
