#include <k814util/testreport.h>

#include <gselib/config814.h>
#include <gselib/datainterpretation.h>
#include <gselib/telemetrycache.h>
#include <gselib/telemetryfile.h>
#include <gselib/timeresolver.h>
#include <gselib/tmmeta.h>
#include <gselib/tmpackettypes.h>
#include <k814util/bindingcheck.h>
#include <k814util/k814util.h>
#include <tarnlib/sciencedatacache.h>
#include <tarnlib/sebcmd.h>
#include <tarnlib/sebcmdinterpreter.h>
#include <tarnlib/sebsequence.h>

#include <QDateTime>
#include <QFileInfo>
#include <map>
#include <stdexcept>
#include <vector>

namespace k814util {

namespace {

QJsonArray strings(const QStringList& list) {
    QJsonArray out;
    for (const QString& s : list) {
        out.append(s);
    }
    return out;
}

QJsonObject metaJson(const GseLib::TmMeta& meta) {
    QJsonObject m{{"file", meta.fileName()},
                  {"version", meta.version()},
                  {"mission", meta.mission()},
                  {"model", meta.model()},
                  {"tid", meta.tid()},
                  {"tid_dir", meta.tidDir()},
                  {"tmfile_name", meta.tmfileName()},
                  {"patch_files", strings(meta.patchFiles())},
                  {"default_mcal", meta.defaultMcal()},
                  {"dac_table", meta.dacTable()}};
    const QDateTime start = meta.datetimeFromTidDir();
    m.insert("started", start.isValid() ? QJsonValue(start.toString(Qt::ISODate)) : QJsonValue());
    m.insert("started_utc",
             start.isValid() ? QJsonValue(start.toUTC().toString(Qt::ISODate)) : QJsonValue());
    m.insert("start_unix",
             start.isValid() ? QJsonValue(double(start.toSecsSinceEpoch())) : QJsonValue());
    QJsonArray annotations;
    for (const GseLib::Annotation& a : meta.annotations()) {
        annotations.append(QJsonObject{{"key", a.key()},
                                       {"x", a.x()},
                                       {"text", a.text()},
                                       {"hkids", strings(a.relevantHkidsStringList())}});
    }
    m.insert("annotations", annotations);
    return m;
}

QJsonArray pathsJson(const QString& group) {
    using GseLib::Config814;
    const QStringList keys = {Config814::KEY_GSE_DIR,           Config814::KEY_TM_DEFINITIONS_DIR,
                              Config814::KEY_TM_DATABASE_FILE,  Config814::KEY_DAC_FILE,
                              Config814::KEY_HEATER_TABLE_FILE, Config814::KEY_SCLK_TABLE_FILE,
                              Config814::KEY_SEQUENCE_DIR,      Config814::KEY_SEQ_CFG_FILE,
                              Config814::KEY_DATA_ROOT_DIR,     Config814::KEY_VIEWERS_ROOT_DIR,
                              Config814::KEY_MCAL_DIR};
    const QStringList required = Config814::requiredKeys();
    QJsonArray out;
    for (const QString& key : keys) {
        const QString value = Config814::getValue(key, group);
        out.append(QJsonObject{{"key", key},
                               {"value", value},
                               {"required", required.contains(key)},
                               {"exists", !value.isEmpty() && QFileInfo::exists(value)}});
    }
    return out;
}

// One field of a command: its value as the interpreter renders it (the decimal value where the
// decoder has no science rendering), and the science value; a field reaching past the
// command's bytes is "(short)" with no value.
QJsonObject fieldJson(const TarGse::SebCmd& cmd, const TarGse::SebCmdInterpreter& interp, int i) {
    QJsonObject f{{"name", interp.fieldName(i)}};
    try {
        QString text = cmd.fieldSciStr(i);
        if (text == QLatin1String("N/A")) {
            text = interp.decodeFieldToDecStr(i, *cmd.bytes());
        }
        f.insert("text", text);
        f.insert("sci", cmd.fieldSci(i));
    } catch (const std::out_of_range&) {
        f.insert("text", QStringLiteral("(short)"));
        f.insert("sci", QJsonValue());
    }
    return f;
}

QJsonObject commandJson(const TarGse::SebCmd& cmd) {
    const auto interp = TarGse::SebCmdInterpreter::interpreter(cmd.number());
    QJsonArray fields;
    for (int i = 0; interp && i < interp->fieldCount(); ++i) {
        if (interp->hasDecoder(i)) {
            fields.append(fieldJson(cmd, *interp, i));
        }
    }
    const auto& bytes = *cmd.bytes();
    const QByteArray raw(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    return QJsonObject{{"number", cmd.number()},
                       {"name", cmd.name()},
                       {"bytes", QString::fromLatin1(raw.toHex())},
                       {"fields", fields}};
}

}  // namespace

QJsonObject TestReport::testInfo(const QString& path) {
    switchLoggingOff();
    const BindingCheck check = BindingCheck::check(path, false);
    if (!check.ok()) {
        return QJsonObject{
            {"error", check.message}, {"detail", check.detail}, {"failure", int(check.failure)}};
    }
    const QFileInfo file(check.absolutePath);
    const GseLib::TmMeta meta(file.absolutePath());
    return QJsonObject{{"file", file.absoluteFilePath()},
                       {"size", double(file.size())},
                       {"meta", metaJson(meta)},
                       {"config", GseLib::Config814::getConfigPath()},
                       {"group", check.group},
                       {"paths", pathsJson(check.group)}};
}

QJsonObject TestReport::packetSummary() {
    const GseLib::TelemetryCache* cache = GseLib::TelemetryFile::sharedCache();
    if (!cache) {
        throw std::runtime_error("the process is not bound to a telemetry file");
    }
    const auto& packets = cache->packets();
    std::map<int, int> byType;
    for (const GseLib::TMPacketPtr& p : packets) {
        ++byType[p->fullType()];
    }
    const GseLib::PacketTypes& catalogue = GseLib::DataInterpretation::current()->packetTypes();
    QJsonArray types;
    for (const auto& [type, count] : byType) {
        const GseLib::TMPacketTypeInfo* info = catalogue.find(type);
        types.append(QJsonObject{{"type", type},
                                 {"name", info ? QJsonValue(info->name) : QJsonValue()},
                                 {"count", count}});
    }
    const GseLib::TimeResolver* resolver = cache->timeResolver();
    QJsonObject out{{"packets", double(packets.size())},
                    {"t0_unix", resolver->unixTimeOfT0()},
                    {"t0_ticks", double(resolver->ticksOfT0())},
                    {"synced", resolver->isSynced()},
                    {"types", types}};
    out.insert("first_unix", packets.empty() ? QJsonValue() : packets.front()->unixTime());
    out.insert("last_unix", packets.empty() ? QJsonValue() : packets.back()->unixTime());
    return out;
}

QJsonArray TestReport::sebSequences() {
    const GseLib::TelemetryCache* cache = GseLib::TelemetryFile::sharedCache();
    if (!cache || !currentBinding().isTarn()) {
        return {};
    }
    std::vector<TarGse::SebSequence> sequences;
    for (const GseLib::TMPacketPtr& p : cache->packets()) {
        if (p->type() != TarGse::ScienceDataCache::SebSequenceType) {
            continue;
        }
        // A continuation with no start before it opens a sequence of its own.
        if (TarGse::SebSequence::isNewSequence(p) || sequences.empty()) {
            sequences.emplace_back(p);
        } else {
            sequences.back().addPartialSequence(p);
        }
    }
    QJsonArray out;
    for (const TarGse::SebSequence& s : sequences) {
        QJsonArray indexes;
        for (int i : s.packetIndexes) {
            indexes.append(i);
        }
        QJsonArray commands;
        for (const auto& c : s.commands) {
            commands.append(commandJson(*c));
        }
        out.append(QJsonObject{{"relative_time", s.relativeTime},
                               {"packets", indexes},
                               {"byte_count", s.byteCount},
                               {"unfinished", double(s.partialBuffer->size())},
                               {"commands", commands}});
    }
    return out;
}

}  // namespace k814util
