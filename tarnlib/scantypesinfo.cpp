#include <tarnlib/scantypesinfo.h>

#include <gselib/config814.h>
#include <tools/logger/diagnostics.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <iostream>

namespace TarGse {

const char* const ScanTypesInfo::CFG_FILENAME = "scantypesinfo.json";

void ScanTypesInfo::reload() {
    using GseLib::Config814;
    reload(Config814::getTmDefinitionsDir(Config814::getDefaultGroup()) + "/" +
           QLatin1String(CFG_FILENAME));
}

void ScanTypesInfo::reload(const QString& path) {
    entries_.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return;
    }
    // The table is optional (without it special scan values show raw), but a file that is
    // there and unreadable is a mistake worth a line rather than silently raw values.
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    if (!doc.isArray()) {
        const QString why = error.error != QJsonParseError::NoError
                                ? error.errorString()
                                : QStringLiteral("not an array");
        GseLib::Diagnostics::report(
            GseLib::Diagnostics::Kind::Config,
            QStringLiteral("Ignoring ") + path + QStringLiteral(": ") + why);
        return;
    }
    for (const QJsonValue& element : doc.array()) {
        if (element.isObject()) {
            const ScanTypeInfo entry(element.toObject().toVariantMap());
            entries_.insert(entry.key, entry);
        }
    }
}

QStringList ScanTypesInfo::names() const {
    QStringList out;
    for (const ScanTypeInfo& entry : entries_) {
        out << entry.name;
    }
    return out;
}

std::optional<ScanTypeInfo> ScanTypesInfo::info(uint32_t id) const {
    const auto it = entries_.constFind(id);
    if (it == entries_.constEnd()) {
        return std::nullopt;
    }
    return *it;
}

}  // namespace TarGse
