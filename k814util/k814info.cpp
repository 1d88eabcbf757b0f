// k814info: reads the test metadata of a telemetry file, selects and verifies its configuration
// group, and prints both. Failures are reported with the same lines, and the same exit status,
// as binding a script to the file.

#include <gselib/config814.h>
#include <gselib/quorcoreapp.h>
#include <gselib/tmmeta.h>
#include <k814util/bindingcheck.h>
#include <tools/logger/loggerconfig.h>

#include <gselib/datainterpretation.h>
#include <gselib/telemetrycache.h>
#include <gselib/telemetryfile.h>
#include <gselib/timeresolver.h>
#include <gselib/tmpackettypes.h>
#include <plugins/plugins.h>
#include <tarnlib/markercache.h>
#include <tarnlib/metamarkercache.h>
#include <tarnlib/sebcmdinterpreter.h>
#include <tarnlib/sebsequence.h>
#include <tarnlib/tardatainterpretation.h>
#include <tarnlib/tartelemetrycache.h>
#include <vireolib/vireodatainterpretation.h>
#include <vireolib/vireotelemetrycache.h>

#include <QDateTime>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimeZone>
#include <cstdio>
#include <cstring>
#include <map>

K814_IMPORT_BUILTIN_PLUGINS()

using GseLib::Config814;
using GseLib::TmMeta;

namespace {

constexpr int SEB_SEQUENCE_TYPE = 23;

void out(const QString& text) {
    std::printf("%s\n", text.toLocal8Bit().constData());
}

void field(const char* name, const QString& value) {
    std::printf("  %-14s %s\n", name, value.isEmpty() ? "-" : value.toLocal8Bit().constData());
}

[[noreturn]] void fail(const QString& line) {
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::exit(1);
}

void printGroupPaths(const QString& group) {
    const QStringList keys = {Config814::KEY_GSE_DIR,           Config814::KEY_TM_DEFINITIONS_DIR,
                              Config814::KEY_TM_DATABASE_FILE,  Config814::KEY_DAC_FILE,
                              Config814::KEY_HEATER_TABLE_FILE, Config814::KEY_SCLK_TABLE_FILE,
                              Config814::KEY_SEQUENCE_DIR,      Config814::KEY_SEQ_CFG_FILE,
                              Config814::KEY_DATA_ROOT_DIR,     Config814::KEY_VIEWERS_ROOT_DIR,
                              Config814::KEY_MCAL_DIR};
    const QStringList required = Config814::requiredKeys();
    for (const QString& key : keys) {
        const QString value = Config814::getValue(key, group);
        QString state;
        if (!value.isEmpty()) {
            state = QFileInfo::exists(value) ? QStringLiteral("ok") : QStringLiteral("MISSING");
        }
        std::printf("  %c %-15s %s %s\n", required.contains(key) ? '*' : ' ',
                    key.toLocal8Bit().constData(),
                    value.isEmpty() ? "-" : value.toLocal8Bit().constData(),
                    state.isEmpty() ? "" : ("(" + state + ")").toLocal8Bit().constData());
    }
}

}  // namespace

// Reads the file with its mission's engine and reader, as binding does.
void readFile(GseLib::QuorCoreApp& app, const k814util::BindingCheck& check) {
    const QRegularExpression::PatternOption ci = QRegularExpression::CaseInsensitiveOption;
    app.loadPlugins(
        QStringList(),
        {QRegularExpression(
             QRegularExpression::wildcardToRegularExpression(check.mission + QStringLiteral("*")),
             ci),
         QRegularExpression(
             QRegularExpression::wildcardToRegularExpression(QStringLiteral("Generic*")), ci)});
    TarGse::TarDataInterpretationFactory tarn;
    VireoGse::VireoDataInterpretationFactory vireo;
    if (check.isTarn()) {
        GseLib::DataInterpretation::init(&tarn, true, app.pluginManager(), check.patchFiles);
        GseLib::DataInterpretation::current()->updatePktOffsets(
            TarGse::TarDataInterpretation::PKT_OFFSET_DELTA);
        GseLib::TelemetryFile::setSharedCache(new TarGse::TarTelemetryCache);
    } else if (check.isVireo()) {
        GseLib::DataInterpretation::init(&vireo, true, app.pluginManager(), check.patchFiles);
        GseLib::TelemetryFile::setSharedCache(new VireoGse::VireoTelemetryCache);
    } else {
        fail(QStringLiteral("Unsupported mission ") + check.mission + QStringLiteral(" for ") +
             check.absolutePath);
    }
    GseLib::TelemetryFile::setSharedCacheFile(check.absolutePath.toStdString());
}

// The packets by type with the catalogue's names, the time span and the clock state.
void printPackets() {
    const GseLib::TelemetryCache* cache = GseLib::TelemetryFile::sharedCache();
    const auto& packets = cache->packets();
    std::map<int, int> byType;
    for (const GseLib::TMPacketPtr& p : packets) {
        ++byType[p->fullType()];
    }
    const GseLib::TimeResolver* resolver = cache->timeResolver();
    out(QStringLiteral("Packets: %1").arg(packets.size()));
    if (!packets.empty()) {
        const auto t = [](double unix) {
            return QDateTime::fromMSecsSinceEpoch(qint64(unix * 1000.0), Qt::UTC)
                .toString(Qt::ISODateWithMs);
        };
        const double first = packets.front()->unixTime();
        const double last = packets.back()->unixTime();
        out(QStringLiteral("  time span      %1 .. %2 (%3 s)")
                .arg(t(first), t(last))
                .arg(last - first, 0, 'f', 3));
    }
    out(QStringLiteral("  T0             Unix %1, %2 ticks; clock %3")
            .arg(resolver->unixTimeOfT0(), 0, 'f', 6)
            .arg(resolver->ticksOfT0())
            .arg(resolver->isSynced() ? QStringLiteral("synchronised")
                                      : QStringLiteral("not synchronised")));
    const GseLib::PacketTypes& types = GseLib::DataInterpretation::current()->packetTypes();
    out(QStringLiteral("  %1  %2  %3")
            .arg(QStringLiteral("type"), 6)
            .arg(QStringLiteral("name"), -24)
            .arg(QStringLiteral("count")));
    for (const auto& [type, count] : byType) {
        const GseLib::TMPacketTypeInfo* info = types.find(type);
        out(QStringLiteral("  %1  %2  %3")
                .arg(type, 6)
                .arg(info ? info->name : QStringLiteral("(not in the catalogue)"), -24)
                .arg(count));
    }
}

// The TARN markers (type 9) and the meta-markers the rule files derive from them.
void printMarkers() {
    GseLib::TelemetryFile cursor;
    TarGse::MarkerCache markers(&cursor);
    markers.reload();
    out(QStringLiteral("Markers: %1").arg(markers.markers().size()));
    for (const TarGse::MarkerData& m : markers.markers()) {
        out(QStringLiteral("  #%1 id %2 at %3 s: %4")
                .arg(m.markerIndex)
                .arg(m.markerId)
                .arg(m.relativeTime, 0, 'f', 3)
                .arg(m.textString()));
    }
    TarGse::MetaMarkerCache& meta = TarGse::MetaMarkerCache::getInstance();
    meta.reload();
    const QList<TarGse::MetaMarker> all = meta.getMetaMarkers();
    out(QStringLiteral("Meta-markers: %1").arg(all.size()));
    for (const TarGse::MetaMarker& m : all) {
        out(QStringLiteral("  id %1 from %2 s to %3 s: %4")
                .arg(m.metaMarkerId)
                .arg(m.startRelativeTimeInSecs, 0, 'f', 3)
                .arg(m.endRelativeTimeInSecs, 0, 'f', 3)
                .arg(QString::fromStdString(m.msg)));
    }
}

// The SEB command sequences of the sequence packets, each command with its decoded fields.
void printSequences() {
    try {
        TarGse::SebCmdInterpreter::createInterpreters();
    } catch (const std::exception& e) {
        fail(QString::fromLocal8Bit(e.what()));
    }
    std::vector<TarGse::SebSequence> sequences;
    for (const GseLib::TMPacketPtr& p : GseLib::TelemetryFile::sharedCache()->packets()) {
        if (p->type() != SEB_SEQUENCE_TYPE) {
            continue;
        }
        if (TarGse::SebSequence::isNewSequence(p) || sequences.empty()) {
            sequences.emplace_back(p);
        } else {
            sequences.back().addPartialSequence(p);
        }
    }
    out(QStringLiteral("SEB sequences: %1").arg(sequences.size()));
    for (const TarGse::SebSequence& s : sequences) {
        QStringList indexes;
        for (int i : s.packetIndexes) {
            indexes.append(QString::number(i));
        }
        out(QStringLiteral("  at %1 s, %2 commands, %3 bytes (packets %4)%5")
                .arg(s.relativeTime, 0, 'f', 3)
                .arg(s.commands.size())
                .arg(s.byteCount)
                .arg(indexes.join(QLatin1Char(',')),
                     s.partialBuffer->empty()
                         ? QString()
                         : QStringLiteral(", %1 bytes unfinished").arg(s.partialBuffer->size())));
        for (const auto& c : s.commands) {
            const auto interp = TarGse::SebCmdInterpreter::interpreter(c->number());
            QStringList fields;
            for (int i = 0; interp && i < interp->fieldCount(); ++i) {
                if (!interp->hasDecoder(i)) {
                    continue;
                }
                QString value;
                try {
                    value = c->fieldSciStr(i);
                    if (value == QLatin1String("N/A")) {
                        value = interp->decodeFieldToDecStr(i, *c->bytes());
                    }
                } catch (const std::out_of_range&) {
                    value = QStringLiteral("(short)");
                }
                fields.append(interp->fieldName(i) + QLatin1Char('=') + value);
            }
            out(QStringLiteral("    %1 %2 %3")
                    .arg(c->number(), 3)
                    .arg(c->name(), -18)
                    .arg(fields.join(QLatin1Char(' '))));
        }
    }
}

int main(int argc, char** argv) {
    bool packets = false;
    bool markers = false;
    bool sequences = false;
    bool usage = argc < 2;
    for (int i = 1; i + 1 < argc; ++i) {
        const bool p = std::strcmp(argv[i], "--packets") == 0;
        const bool m = std::strcmp(argv[i], "--markers") == 0;
        const bool s = std::strcmp(argv[i], "--sequences") == 0;
        packets |= p;
        markers |= m;
        sequences |= s;
        usage |= !p && !m && !s;
    }
    if (usage || std::strcmp(argv[argc - 1], "--help") == 0 ||
        std::strcmp(argv[argc - 1], "-h") == 0) {
        std::fprintf(stderr,
                     "usage: k814info [--packets] [--markers] [--sequences] TELEMETRY_FILE\n");
        return usage ? 2 : 0;
    }
    int appArgc = 0;
    GseLib::QuorCoreApp app(appArgc, nullptr, 0, 1, 0, QString());
    app.initializeLogger(LoggerConfig::noLogging());

    const QString path = QString::fromLocal8Bit(argv[argc - 1]);
    const k814util::BindingCheck check = k814util::BindingCheck::check(path, false);
    if (!check.ok()) {
        fail(check.message);
    }
    const QFileInfo file(check.absolutePath);
    const TmMeta meta(file.absolutePath());
    const QString group = check.group;

    out(QStringLiteral("Telemetry file %1 (%2 bytes)")
            .arg(file.absoluteFilePath())
            .arg(file.size()));
    out(QStringLiteral("Test metadata from %1 (version %2)")
            .arg(meta.fileName())
            .arg(meta.version()));
    field("mission", meta.mission());
    field("model", meta.model());
    field("tid", QString::number(meta.tid()));
    field("tid_dir", meta.tidDir());
    const QDateTime start = meta.datetimeFromTidDir();
    field("started", start.isValid()
                         ? start.toString(Qt::ISODate) + QStringLiteral(" (") +
                               start.toUTC().toString(Qt::ISODate) +
                               QStringLiteral(", Unix %1)").arg(start.toSecsSinceEpoch())
                         : QStringLiteral("(directory name carries no date)"));
    field("tmfile_name", meta.tmfileName());
    field("patch_files", meta.patchFiles().join(QStringLiteral(", ")));
    field("default_mcal", meta.defaultMcal());
    field("dac_table", meta.dacTable());
    out(QStringLiteral("  annotations    %1").arg(meta.annotations().size()));
    for (const GseLib::Annotation& a : meta.annotations()) {
        out(QStringLiteral("    #%1 at %2 s: %3 [hkids %4]")
                .arg(a.key())
                .arg(a.x())
                .arg(a.text(), a.relevantHkids().isEmpty()
                                   ? QStringLiteral("-")
                                   : a.relevantHkidsStringList().join(QLatin1Char(','))));
    }
    out(QStringLiteral("Configuration %1, group %2: verified")
            .arg(Config814::getConfigPath(), group));
    printGroupPaths(group);
    if (packets || markers || sequences) {
        readFile(app, check);
    }
    if (packets) {
        printPackets();
    }
    if (markers) {
        printMarkers();
    }
    if (sequences && check.isTarn()) {
        printSequences();
    }
    return 0;
}
