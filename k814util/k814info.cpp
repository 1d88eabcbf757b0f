// k814info: reads the test metadata of a telemetry file, selects and verifies its configuration
// group, and prints both; with options it binds to the file the way scripts are bound (the same
// function) and prints its packets by type, markers and SEB command sequences. Failures are
// reported with the binding's one line and exit status 1.

#include <gselib/telemetryfile.h>
#include <k814util/k814util.h>
#include <k814util/testreport.h>
#include <tarnlib/markercache.h>
#include <tarnlib/metamarkercache.h>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

namespace {

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

QString joined(const QJsonValue& list, const QString& separator) {
    QStringList parts;
    for (const QJsonValue& v : list.toArray()) {
        parts.append(v.toString());
    }
    return parts.join(separator);
}

void printInfo(const QJsonObject& info) {
    const QJsonObject meta = info["meta"].toObject();
    out(QStringLiteral("Telemetry file %1 (%2 bytes)")
            .arg(info["file"].toString())
            .arg(qint64(info["size"].toDouble())));
    out(QStringLiteral("Test metadata from %1 (version %2)")
            .arg(meta["file"].toString())
            .arg(meta["version"].toInt()));
    field("mission", meta["mission"].toString());
    field("model", meta["model"].toString());
    field("tid", QString::number(meta["tid"].toInt()));
    field("tid_dir", meta["tid_dir"].toString());
    field("started", meta["started"].isNull()
                         ? QStringLiteral("(directory name carries no date)")
                         : QStringLiteral("%1 (%2, Unix %3)")
                               .arg(meta["started"].toString(), meta["started_utc"].toString())
                               .arg(qint64(meta["start_unix"].toDouble())));
    field("tmfile_name", meta["tmfile_name"].toString());
    field("patch_files", joined(meta["patch_files"], QStringLiteral(", ")));
    field("default_mcal", meta["default_mcal"].toString());
    field("dac_table", meta["dac_table"].toString());
    const QJsonArray annotations = meta["annotations"].toArray();
    out(QStringLiteral("  annotations    %1").arg(annotations.size()));
    for (const QJsonValue& v : annotations) {
        const QJsonObject a = v.toObject();
        const QString hkids = joined(a["hkids"], QStringLiteral(","));
        out(QStringLiteral("    #%1 at %2 s: %3 [hkids %4]")
                .arg(a["key"].toInt())
                .arg(a["x"].toDouble())
                .arg(a["text"].toString(), hkids.isEmpty() ? QStringLiteral("-") : hkids));
    }
    out(QStringLiteral("Configuration %1, group %2: verified")
            .arg(info["config"].toString(), info["group"].toString()));
    for (const QJsonValue& v : info["paths"].toArray()) {
        const QJsonObject p = v.toObject();
        const QString value = p["value"].toString();
        const QString state = value.isEmpty()        ? QString()
                              : p["exists"].toBool() ? QStringLiteral("(ok)")
                                                     : QStringLiteral("(MISSING)");
        std::printf("  %c %-15s %s %s\n", p["required"].toBool() ? '*' : ' ',
                    p["key"].toString().toLocal8Bit().constData(),
                    value.isEmpty() ? "-" : value.toLocal8Bit().constData(),
                    state.toLocal8Bit().constData());
    }
}

void printPackets() {
    const QJsonObject s = k814util::TestReport::packetSummary();
    out(QStringLiteral("Packets: %1").arg(qint64(s["packets"].toDouble())));
    if (!s["first_unix"].isNull()) {
        const auto t = [](double unix) {
            return QDateTime::fromMSecsSinceEpoch(qint64(unix * 1000.0), Qt::UTC)
                .toString(Qt::ISODateWithMs);
        };
        const double first = s["first_unix"].toDouble();
        const double last = s["last_unix"].toDouble();
        out(QStringLiteral("  time span      %1 .. %2 (%3 s)")
                .arg(t(first), t(last))
                .arg(last - first, 0, 'f', 3));
    }
    out(QStringLiteral("  T0             Unix %1, %2 ticks; clock %3")
            .arg(s["t0_unix"].toDouble(), 0, 'f', 6)
            .arg(qint64(s["t0_ticks"].toDouble()))
            .arg(s["synced"].toBool() ? QStringLiteral("synchronised")
                                      : QStringLiteral("not synchronised")));
    out(QStringLiteral("  %1  %2  %3")
            .arg(QStringLiteral("type"), 6)
            .arg(QStringLiteral("name"), -24)
            .arg(QStringLiteral("count")));
    for (const QJsonValue& v : s["types"].toArray()) {
        const QJsonObject t = v.toObject();
        out(QStringLiteral("  %1  %2  %3")
                .arg(t["type"].toInt(), 6)
                .arg(t["name"].isNull() ? QStringLiteral("(not in the catalogue)")
                                        : t["name"].toString(),
                     -24)
                .arg(t["count"].toInt()));
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

void printSequences() {
    const QJsonArray sequences = k814util::TestReport::sebSequences();
    out(QStringLiteral("SEB sequences: %1").arg(sequences.size()));
    for (const QJsonValue& v : sequences) {
        const QJsonObject s = v.toObject();
        QStringList indexes;
        for (const QJsonValue& i : s["packets"].toArray()) {
            indexes.append(QString::number(i.toInt()));
        }
        const QJsonArray commands = s["commands"].toArray();
        const qint64 unfinished = qint64(s["unfinished"].toDouble());
        out(QStringLiteral("  at %1 s, %2 commands, %3 bytes (packets %4)%5")
                .arg(s["relative_time"].toDouble(), 0, 'f', 3)
                .arg(commands.size())
                .arg(s["byte_count"].toInt())
                .arg(indexes.join(QLatin1Char(',')),
                     unfinished ? QStringLiteral(", %1 bytes unfinished").arg(unfinished)
                                : QString()));
        for (const QJsonValue& c : commands) {
            QStringList fields;
            for (const QJsonValue& f : c["fields"].toArray()) {
                fields.append(f["name"].toString() + QLatin1Char('=') + f["text"].toString());
            }
            out(QStringLiteral("    %1 %2 %3")
                    .arg(c["number"].toInt(), 3)
                    .arg(c["name"].toString(), -18)
                    .arg(fields.join(QLatin1Char(' '))));
        }
    }
}

}  // namespace

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
    const QString path = QString::fromLocal8Bit(argv[argc - 1]);
    const QJsonObject info = k814util::TestReport::testInfo(path);
    if (info.contains("error")) {
        fail(info["error"].toString());
    }
    printInfo(info);
    if (!packets && !markers && !sequences) {
        return 0;
    }
    try {
        k814util::bindTelemetryFile(path.toStdString());
    } catch (const std::exception& e) {
        fail(QString::fromLocal8Bit(e.what()));
    }
    if (packets) {
        printPackets();
    }
    if (markers && k814util::currentBinding().isTarn()) {
        printMarkers();
    }
    if (sequences) {
        printSequences();
    }
    return 0;
}
