#include <k814util/binding.h>

#include <gselib/config814.h>
#include <gselib/datainterpretation.h>
#include <gselib/msglogcache.h>
#include <gselib/quorcoreapp.h>
#include <gselib/telemetrycache.h>
#include <gselib/telemetryfile.h>
#include <k814util/k814util.h>
#include <tarnlib/metamarkercache.h>
#include <tarnlib/sebcmdinterpreter.h>
#include <tarnlib/tardatainterpretation.h>
#include <tarnlib/tartelemetrycache.h>
#include <tools/util/pluginmanager.h>
#include <vireolib/vireodatainterpretation.h>
#include <vireolib/vireotelemetrycache.h>

#include <QDir>
#include <QFileInfo>
#include <chrono>

namespace k814util {

// Set by the first successful binding; the script objects refuse to work before it.
bool k814utilIsInitialized = false;

namespace {

using GseLib::Diagnostics;

QString withDetail(const BindingCheck& c) {
    return c.detail.isEmpty() ? c.message : c.message + QStringLiteral(" (") + c.detail + ')';
}

BindingCheck unbound() {
    BindingCheck c;
    c.failure = BindingCheck::MissingFile;
    return c;
}

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
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

// Reading the archive must not change what the process is bound to: the default configuration
// group (which later lookups of the bound test use) is put back, and the messages of
// configuration changes are dropped, as they are for every binding.
class DefaultGroupKept {
public:
    DefaultGroupKept() : group_(GseLib::Config814::getDefaultGroup()) { switchLoggingOff(); }
    ~DefaultGroupKept() {
        if (GseLib::Config814::getDefaultGroup() != group_) {
            GseLib::Config814::setDefaultGroup(group_);
        }
    }
    DefaultGroupKept(const DefaultGroupKept&) = delete;
    DefaultGroupKept& operator=(const DefaultGroupKept&) = delete;

private:
    QString group_;
};

}  // namespace

BindingFailure::BindingFailure(const BindingCheck& check)
    : std::runtime_error(withDetail(check).toStdString()),
      failure_(check.failure),
      line_(check.message),
      detail_(check.detail) {}

Binding& Binding::instance() {
    static Binding binding;
    return binding;
}

Binding::Binding() : current_(unbound()) {
    Diagnostics::setObserver(
        [this](Diagnostics::Kind kind, std::string_view text) { record(kind, text); });
}

void Binding::fail(const BindingCheck& check) {
    binding_ = false;
    pending_.clear();
    lastFailure_ = check;
    throw BindingFailure(check);
}

void Binding::record(Diagnostics::Kind kind, std::string_view text) {
    std::vector<Line>& lines = binding_ ? pending_ : lines_;
    long long& dropped = binding_ ? pendingDropped_ : dropped_;
    if (lines.size() < MAX_LINES) {
        lines.push_back({kind, std::string(text)});
    } else {
        ++dropped;
    }
}

void Binding::loadPluginsFor(const BindingCheck& check) {
    loadPlugins(check.mission);
}

// Replaces engine, shared cache, message log and meta-marker state with check's test. Whatever
// raises in between leaves the process unbound, with no engine and no packets, rather than half
// bound: objects made for the previous file then find nothing instead of another file's packets.
void Binding::replace(const BindingCheck& check, bool tarnDefinitionsRead) {
    ++generation_;
    current_ = unbound();
    lines_ = std::move(pending_);
    dropped_ = pendingDropped_;
    pending_.clear();
    pendingDropped_ = 0;
    binding_ = false;
    lastPath_.clear();
    try {
        GseLib::DataInterpretationFactory* factory = &vireoDataInterpretationFactory;
        if (check.isTarn()) {
            factory = &tarnDataInterpretationFactory;
        }
        GseLib::DataInterpretation::init(factory, true, app.pluginManager(), check.patchFiles);
        GseLib::TelemetryCache* cache = nullptr;
        if (check.isTarn()) {
            // The database counts offsets from the data field; TOM packets put 8 header bytes
            // first.
            GseLib::DataInterpretation::current()->updatePktOffsets(
                TarGse::TarDataInterpretation::PKT_OFFSET_DELTA);
            cache = new TarGse::TarTelemetryCache;
        } else {
            cache = new VireoGse::VireoTelemetryCache;
        }
        GseLib::TelemetryFile::setSharedCache(cache);
        GseLib::TelemetryFile::setSharedCacheFile(check.absolutePath.toStdString());
        resetMessageLog();
    } catch (...) {
        GseLib::TelemetryFile::setSharedCache(nullptr);
        GseLib::DataInterpretation::reset();
        throw;
    }
    if (check.isTarn() && !tarnDefinitionsRead) {
        // Raises for a missing or malformed definition file once the packets are read: engine
        // and packets stay, and the process is not initialised.
        TarGse::SebCmdInterpreter::createInterpreters();
    }
    resetMetaMarkers();
    current_ = check;
    k814utilIsInitialized = true;
}

// Meta-marker rules (and anything else keyed by a test's TID) take the TID from the directory
// name; a directory copied under another name keeps its tm.meta but loses those, silently
// unless said here.
void Binding::warnAboutDirectoryName(const BindingCheck& check) {
    const QString directory = QFileInfo(check.absolutePath).absoluteDir().dirName();
    if (warnedDirectories_.contains(check.absolutePath)) {
        return;
    }
    bool numeric = false;
    const int named = directory.mid(20, 5).toInt(&numeric);
    if (numeric && named == check.tid) {
        return;
    }
    warnedDirectories_.append(check.absolutePath);
    const QString carries =
        numeric ? QStringLiteral("carries TID %1").arg(named) : QStringLiteral("carries no TID");
    Diagnostics::report(Diagnostics::Kind::Binding,
                        QStringLiteral("The directory name %1 %2 at the usual place (characters "
                                       "21-25), but its tm.meta says TID %3: rules for TID %3 "
                                       "(meta-markers) do not apply to this binding")
                            .arg(directory, carries)
                            .arg(check.tid));
}

void Binding::bind(const QString& path) {
    switchLoggingOff();
    BindingCheck check;
    {
        binding_ = true;
        pending_.clear();
        pendingDropped_ = 0;
        check = BindingCheck::check(path, true);
    }
    if (!check.ok()) {
        fail(check);
    }
    if (isBound() && check.absolutePath == current_.absolutePath &&
        GseLib::TelemetryFile::sharedCache()) {
        binding_ = false;
        // The lines of the checks belong to the binding that goes on.
        for (Line& line : pending_) {
            record(line.kind, line.text);
        }
        pending_.clear();
        grow(5.0);
        return;
    }
    if (check.isTarn()) {
        // The command definitions, read before anything is replaced: a missing or malformed
        // file fails the binding with the process still whole, bound as it was (and to its own
        // configuration group) or not at all. The table changes only when all of it parses.
        try {
            TarGse::SebCmdInterpreter::createInterpreters();
        } catch (...) {
            binding_ = false;
            if (isBound()) {
                GseLib::Config814::setDefaultGroup(current_.group);
            }
            throw;
        }
    }
    loadPluginsFor(check);
    warnAboutDirectoryName(check);
    replace(check, true);
}

void Binding::bindAsInitialisation(const QString& path) {
    if (!k814utilIsInitialized) {
        switchLoggingOff();
    }
    binding_ = true;
    pending_.clear();
    pendingDropped_ = 0;
    BindingCheck check = BindingCheck::check(path, false);
    if (!check.ok()) {
        fail(check);
    }
    loadPluginsFor(check);
    if (!check.checkMission()) {
        fail(check);
    }
    warnAboutDirectoryName(check);
    replace(check, false);
}

long long Binding::grow(double staleAfter) {
    GseLib::TelemetryCache* cache = GseLib::TelemetryFile::sharedCache();
    if (!cache) {
        return 0;
    }
    const qint64 size = QFileInfo(current_.absolutePath).size();
    const double t = now();
    if (size != lastSize_ || current_.absolutePath != lastPath_) {
        lastSize_ = size;
        lastPath_ = current_.absolutePath;
        lastChange_ = t;
    }
    // Bytes that look like the start of a packet longer than what is left (damage, or the end
    // of a recording the station stopped) would otherwise hold back everything after them for
    // good; read on, the reader gives such a packet its few retries and then passes over it.
    if (!cache->packetWaiting() && t - lastChange_ < staleAfter) {
        return 0;
    }
    const size_t before = cache->size();
    GseLib::TelemetryFile::updateSharedCache();
    return static_cast<long long>(cache->size() - before);
}

long long Binding::readOn(const QString& path, double staleAfter) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (isBound() && absolute == current_.absolutePath && GseLib::TelemetryFile::sharedCache()) {
        return grow(staleAfter);
    }
    bind(path);
    const GseLib::TelemetryCache* cache = GseLib::TelemetryFile::sharedCache();
    return cache ? static_cast<long long>(cache->size()) : 0;
}

QString Binding::problemWith(const QString& path) {
    const DefaultGroupKept kept;
    return BindingCheck::check(path, true).message;
}

bool Binding::pluginsServe(const QString& mission) {
    const PluginManager* plugins = app.pluginManager();
    return plugins == nullptr || plugins->matchesFilter(mission + QStringLiteral("Maker"));
}

}  // namespace k814util
