// Fuzz target for the files of a test run and a workstation. The first input byte picks what the
// rest is: 0 a "tm.meta", 1 the workstation INI file, 2 a mass-calibration file, 3 a default-mass
// file, 4 a meta-marker rule file. The INI reader may raise only its two stated errors (unknown
// group, missing default group); the others raise nothing. A crash, a sanitizer report, another
// exception, or a file that does not survive being written back is a finding: a tm.meta and a
// calibration that were read are saved and read again and must give the same content, and a
// rule file that passes validation covers every TID it names.

#include <gselib/config814.h>
#include <gselib/tmmeta.h>
#include <tarnlib/masscal.h>
#include <tarnlib/metamarker.h>
#include <tarnlib/metamarkerids.h>
#include <tarnlib/metamarkerrules.h>

#include "fuzzfiles.h"

#include <QDebug>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

namespace K = TarGse::MetaMarkerJsonKeys;

bool startsWith(const char* text, const char* prefix) {
    return QByteArray(text).startsWith(prefix);
}

void sameMeta(const GseLib::TmMeta& a, const GseLib::TmMeta& b) {
    if (!b.isValid() || a.mission() != b.mission() || a.model() != b.model() ||
        a.patchFiles() != b.patchFiles() || a.tid() != b.tid() || a.tidDir() != b.tidDir() ||
        a.tmfileName() != b.tmfileName() || a.defaultMcal() != b.defaultMcal() ||
        a.dacTable() != b.dacTable() || a.annotations() != b.annotations() ||
        b.version() != GseLib::TmMeta::CURRENT_VERSION) {
        fuzzfiles::finding("tm.meta saved and read again differs:", b.toString());
    }
}

void tmMeta(const QString& path) {
    const GseLib::TmMeta meta(path);
    (void)meta.config814Group();
    (void)meta.datetimeFromTidDir();
    (void)meta.isMission(QStringLiteral("tarn"));
    QString text;
    QDebug(&text) << meta;
    if (!meta.isValid()) {
        return;
    }
    const QString again = fuzzfiles::scratchDir() + QStringLiteral("/meta2/tm.meta");
    fuzzfiles::write(QStringLiteral("meta2/tm.meta"), QByteArray());
    if (!meta.saveAs(again)) {
        fuzzfiles::finding("tm.meta cannot be saved");
    }
    sameMeta(meta, GseLib::TmMeta(again));
}

// Every getter on group; only the unknown-group error may come out.
void readGroup(const QString& group) {
    using C = GseLib::Config814;
    try {
        (void)C::verify(group);
        for (QString (*getter)(const QString&) :
             {&C::getSequenceDir, &C::getSeqConfigPath, &C::getGsePath, &C::getTmDefinitionsDir,
              &C::getTmDatabasePath, &C::getDacFilePath, &C::getHeaterTablePath, &C::getDataRootDir,
              &C::getViewersDir, &C::getSclkTablePath, &C::getMcalDir}) {
            (void)getter(group);
        }
        (void)C::getGseConfigsDir(QStringLiteral("viewer"), group);
    } catch (const std::runtime_error& e) {
        if (!startsWith(e.what(),
                        "The following group does not exist in the .814config.INI file: '")) {
            fuzzfiles::finding("unexpected error from the configuration:", e.what());
        }
    }
    for (const QString& key : C::VALUE_IS_FILE.keys()) {
        (void)C::getDefaultPaths(group, key);
    }
}

void workstationIni(const uint8_t* data, size_t size) {
    // A new name for every run: the framework keeps parsed settings files by name.
    static int run = 0;
    const QString path = fuzzfiles::write(QStringLiteral("ini/%1.INI").arg(run++), data, size);
    qputenv("INI814", path.toLocal8Bit());
    using C = GseLib::Config814;
    QString group = C::getDefaultGroupFromIni(QStringLiteral("tarn_fm"));
    try {
        group = C::getDefaultGroupFromIni();
    } catch (const std::runtime_error& e) {
        if (!startsWith(e.what(), "You must define the 'default_group' key under the 814 group")) {
            fuzzfiles::finding("unexpected error from the configuration:", e.what());
        }
    }
    C::setDefaultGroup(group);
    for (const QString& g : {group, QStringLiteral("TARN_FM"), QStringLiteral("VIREO")}) {
        readGroup(g);
    }
    QFile::remove(path);
}

void massCal(const QString& path) {
    TarGse::MassCal cal;
    if (!cal.loadFromFile(path)) {
        fuzzfiles::finding("a readable calibration file was refused");
    }
    (void)cal.controlModeAsString();
    for (int cycle : cal.phaseCycles()) {
        const TarGse::MassCalEntry e = cal[cycle];
        (void)e.apply(100.0);
        (void)e.inverse(50.0);
    }
    (void)cal[123456].apply(1.0);
    // Saved as the current version and read back, every entry must come back the same.
    const QString again =
        fuzzfiles::write(QStringLiteral("mcal/again.mcal"), cal.toString().toUtf8());
    TarGse::MassCal reread;
    reread.loadFromFile(again);
    if (reread.phaseCycles() != cal.phaseCycles() || reread.controlMode() != cal.controlMode()) {
        fuzzfiles::finding("calibration saved and read again has other entries:",
                           cal.toString() + QStringLiteral(" | ") + reread.toString());
    }
    for (int cycle : cal.phaseCycles()) {
        if (reread.entry(cycle) != cal.entry(cycle)) {
            fuzzfiles::finding("calibration entry saved and read again differs:",
                               cal.entry(cycle).toString() + QStringLiteral(" | ") +
                                   reread.entry(cycle).toString());
        }
    }
}

void defaultMasses(const uint8_t* data, size_t size) {
    const QString gse = fuzzfiles::scratchDir() + QStringLiteral("/gse");
    static const bool configured = [&gse] {
        const QString ini = fuzzfiles::write(
            QStringLiteral("masses.INI"),
            QStringLiteral("[814]\ndefault_group=TARN_FM\n[TARN_FM]\ngse=%1\n").arg(gse).toUtf8());
        qputenv("INI814", ini.toLocal8Bit());
        return true;
    }();
    (void)configured;
    // The INI branch points the configuration elsewhere; this one always reads its own.
    qputenv("INI814", (fuzzfiles::scratchDir() + QStringLiteral("/masses.INI")).toLocal8Bit());
    GseLib::Config814::setDefaultGroup(QStringLiteral("TARN_FM"));
    fuzzfiles::write(QStringLiteral("gse/mcal/default.amu"), data, size);
    const QList<double> masses = TarGse::MassCal::getDefaultMasses();
    if (!std::is_sorted(masses.begin(), masses.end())) {
        fuzzfiles::finding("default masses are not in ascending order");
    }
}

void ruleFile(const QString& path) {
    if (!TarGse::isValidMetamarkerRuleFile(QFileInfo(path))) {
        return;
    }
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    const QJsonArray rules =
        QJsonDocument::fromJson(f.readAll()).object().value(K::METAMARKERS).toArray();
    for (const QJsonValue& r : rules) {
        const QJsonObject rule = r.toObject();
        const int id = rule.value(K::METAMARKER_ID).toInt();
        if (id < TarGse::MIN_META_MARKER_ID || id > TarGse::MAX_META_MARKER_ID) {
            fuzzfiles::finding("a rule with an id out of range passed validation");
        }
        for (const QString& key : {K::START_CONDITIONS, K::END_CONDITIONS}) {
            for (const QJsonValue& c : rule.value(key).toArray()) {
                const double marker = c.toObject().value(K::MARKER).toDouble();
                if (c.toObject().value(K::TYPE).toString() == QLatin1String("marker") &&
                    (marker != std::trunc(marker) || marker < 0 || marker > 4294967295.0)) {
                    fuzzfiles::finding(
                        "a marker trigger that names no marker id passed validation");
                }
            }
        }
        // Every single TID and both ends of every range the text names are covered.
        const QString tids = rule.value(K::TIDS).toString();
        for (const QString& piece : tids.split(QLatin1Char(','))) {
            QList<int> named;
            bool ok = false;
            if (piece.count(QLatin1Char('-')) == 0) {
                const int tid = piece.trimmed().toInt(&ok);
                if (ok) {
                    named.append(tid);
                }
            } else if (piece.count(QLatin1Char('-')) == 1) {
                bool ok1 = false;
                const int lo = piece.section(QLatin1Char('-'), 0, 0).trimmed().toInt(&ok);
                const int hi = piece.section(QLatin1Char('-'), 1, 1).trimmed().toInt(&ok1);
                if (ok && ok1 && lo <= hi) {
                    named = {lo, hi};
                }
            }
            for (int tid : named) {
                if (!TarGse::tidsCover(tids, tid)) {
                    fuzzfiles::finding("a rule does not cover a TID it names:", tids);
                }
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    fuzzfiles::silenceLibraryMessages();
    switch (data[0] % 5) {
        case 0:
            tmMeta(fuzzfiles::write(QStringLiteral("meta/tm.meta"), data + 1, size - 1));
            break;
        case 1:
            workstationIni(data + 1, size - 1);
            break;
        case 2:
            massCal(fuzzfiles::write(QStringLiteral("mcal/input.mcal"), data + 1, size - 1));
            break;
        case 3:
            defaultMasses(data + 1, size - 1);
            break;
        default:
            ruleFile(fuzzfiles::write(QStringLiteral("rules/input.json"), data + 1, size - 1));
            break;
    }
    return 0;
}
