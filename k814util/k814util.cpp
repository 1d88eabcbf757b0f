// The module's process-wide state and its binding to one telemetry file.

#include <k814util/k814util.h>

#include <gselib/config814.h>
#include <gselib/datainterpretation.h>
#include <gselib/msglogcache.h>
#include <gselib/quorcoreapp.h>
#include <gselib/telemetrycache.h>
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

#include <QFileInfo>
#include <QRegularExpression>
#include <chrono>
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

BindingCheck unbound() {
    BindingCheck c;
    c.failure = BindingCheck::MissingFile;
    return c;
}

// The checks of the file the process is bound to.
BindingCheck bound = unbound();
bool loggingOff = false;

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

// The rules of the new binding's group and TID. The first call creates the instance, which
// reads them itself: reading them again would report every problem of the rule files twice.
void resetMetaMarkers() {
    static bool created = false;
    TarGse::MetaMarkerCache& cache = TarGse::MetaMarkerCache::getInstance();
    if (created) {
        cache.resetState();
    }
    created = true;
}

// Runs the steps that replace the engine and the shared cache with c's. Whatever raises in them
// leaves the process unbound, with no engine and no packets, rather than half bound: objects
// made for the previous file then find nothing instead of another file's packets.
template <typename Steps>
void replaceBinding(Steps&& steps) {
    bound = unbound();
    try {
        steps();
    } catch (...) {
        GseLib::TelemetryFile::setSharedCache(nullptr);
        GseLib::DataInterpretation::reset();
        throw;
    }
}

void bindVireo(const BindingCheck& c) {
    replaceBinding([&c] {
        GseLib::DataInterpretation::init(&vireoDataInterpretationFactory, true, app.pluginManager(),
                                         c.patchFiles);
        GseLib::TelemetryFile::setSharedCache(new VireoGse::VireoTelemetryCache);
        GseLib::TelemetryFile::setSharedCacheFile(c.absolutePath.toStdString());
        resetMessageLog();
        resetMetaMarkers();
    });
    bound = c;
    k814utilIsInitialized = true;
}

void bindTarn(const BindingCheck& c) {
    replaceBinding([&c] {
        GseLib::DataInterpretation::init(&tarnDataInterpretationFactory, true, app.pluginManager(),
                                         c.patchFiles);
        // The database counts offsets from the data field; TOM packets put 8 header bytes
        // first.
        GseLib::DataInterpretation::current()->updatePktOffsets(
            TarGse::TarDataInterpretation::PKT_OFFSET_DELTA);
        GseLib::TelemetryFile::setSharedCache(new TarGse::TarTelemetryCache);
        GseLib::TelemetryFile::setSharedCacheFile(c.absolutePath.toStdString());
        resetMessageLog();
    });
    // Raises for a missing or malformed command definition file once the packets are read;
    // engine and packets stay, and the process is not bound (bindTelemetryFile reads the file
    // before anything is replaced, so that its callers never get here with it broken).
    TarGse::SebCmdInterpreter::createInterpreters();
    resetMetaMarkers();
    bound = c;
    k814utilIsInitialized = true;
}

// The size the bound file was last seen with, and since when.
struct LastGrowth {
    QString path;
    qint64 size = -1;
    std::chrono::steady_clock::time_point since;
};
LastGrowth lastGrowth;

// Reads on in the bound file when a whole packet (or damage to pass over) waits where the last
// read stopped, or when the file has kept its size for staleAfter seconds: bytes that look like
// the start of a packet longer than what is left (damage, or the end of a recording the station
// stopped) would otherwise hold back everything after them for good; read on, the reader gives
// such a packet its few retries and then passes over it. The packets added.
long long growBoundFile(double staleAfter = 5.0) {
    GseLib::TelemetryCache* cache = GseLib::TelemetryFile::sharedCache();
    if (!cache) {
        return 0;
    }
    const qint64 size = QFileInfo(bound.absolutePath).size();
    const auto now = std::chrono::steady_clock::now();
    if (size != lastGrowth.size || bound.absolutePath != lastGrowth.path) {
        lastGrowth = {bound.absolutePath, size, now};
    }
    const std::chrono::duration<double> unchanged = now - lastGrowth.since;
    if (!cache->packetWaiting() && unchanged.count() < staleAfter) {
        return 0;
    }
    const size_t before = cache->size();
    GseLib::TelemetryFile::updateSharedCache();
    return static_cast<long long>(cache->size() - before);
}

}  // namespace

void switchLoggingOff() {
    if (!loggingOff) {
        app.initializeLogger(LoggerConfig::noLogging());
        loggingOff = true;
    }
}

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
    if (k814utilIsInitialized && c.absolutePath == bound.absolutePath &&
        GseLib::TelemetryFile::sharedCache()) {
        growBoundFile();
        return;
    }
    if (c.isTarn()) {
        // The command definitions, read before anything is replaced: a missing or malformed
        // file fails the binding with the process still whole, bound as it was (and to its
        // own configuration group) or not at all. The table changes only when all of it parses.
        try {
            TarGse::SebCmdInterpreter::createInterpreters();
        } catch (...) {
            if (bound.ok()) {
                GseLib::Config814::setDefaultGroup(bound.group);
            }
            throw;
        }
    }
    initK814Util(path);
}

long long refreshTelemetryFile(const std::string& path, double staleAfter) {
    const QString absolute = QFileInfo(QString::fromStdString(path)).absoluteFilePath();
    if (k814utilIsInitialized && bound.ok() && absolute == bound.absolutePath &&
        GseLib::TelemetryFile::sharedCache()) {
        return growBoundFile(staleAfter);
    }
    bindTelemetryFile(path);
    const GseLib::TelemetryCache* cache = GseLib::TelemetryFile::sharedCache();
    return cache ? static_cast<long long>(cache->size()) : 0;
}

const BindingCheck& currentBinding() {
    return bound;
}

}  // namespace k814util
