#include <tools/util/appdefaults.h>

#include <QProcess>
#include <QStandardPaths>

const QString AppDefaults::COMMAND = QStringLiteral("defaults");

QString AppDefaults::commandPath() {
    return QStandardPaths::findExecutable(COMMAND);
}

QStringList AppDefaults::boolWriteArguments(const QString& domain, const QString& key, bool value) {
    return {QStringLiteral("write"), domain, key, QStringLiteral("-bool"),
            value ? QStringLiteral("YES") : QStringLiteral("NO")};
}

bool AppDefaults::writeBool(const QString& domain, const QString& key, bool value) {
    const QString program = commandPath();
    if (program.isEmpty()) {
        return false;
    }
    QProcess process;
    process.start(program, boolWriteArguments(domain, key, value));
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}
