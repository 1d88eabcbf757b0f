// k814info: reads the test metadata of a telemetry file, selects and verifies its configuration
// group, and prints both. Failures are reported with the same lines, and the same exit status,
// as binding a script to the file.

#include <gselib/config814.h>
#include <gselib/quorcoreapp.h>
#include <gselib/tmmeta.h>
#include <k814util/bindingcheck.h>
#include <tools/logger/loggerconfig.h>

#include <QFileInfo>
#include <QTimeZone>
#include <cstdio>
#include <cstring>

using GseLib::Config814;
using GseLib::TmMeta;

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

int main(int argc, char** argv) {
    if (argc != 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fprintf(stderr, "usage: k814info TELEMETRY_FILE\n");
        return argc == 2 ? 0 : 2;
    }
    int appArgc = 0;
    GseLib::QuorCoreApp app(appArgc, nullptr, 0, 1, 0, QString());
    app.initializeLogger(LoggerConfig::noLogging());

    const QString path = QString::fromLocal8Bit(argv[1]);
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
    return 0;
}
