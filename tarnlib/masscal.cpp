#include <tarnlib/masscal.h>

#include <gselib/config814.h>
#include <gselib/tmmeta.h>
#include <tools/logger/eventmessage.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>
#include <algorithm>
#include <stdexcept>

namespace TarGse {

const QString MassCal::MCAL_EXT = QStringLiteral("mcal");
const QString MassCal::MASSES_EXT = QStringLiteral("amu");
const QString MassCal::MCAL_NAME_FILTER = QStringLiteral("*.") + MCAL_EXT;
const QString MassCal::MASSES_NAME_FILTER = QStringLiteral("*.") + MASSES_EXT;
const QString MassCal::VERSION_REGEX = QStringLiteral("^v(\\d+)$");
const QString MassCal::KEY_VERSION = QStringLiteral("version");
const QString MassCal::KEY_CTRL_MODE = QStringLiteral("control_mode");
const QString MassCal::KEY_ENTRIES = QStringLiteral("entries");

namespace {

// A configuration value of the default group; empty when there is no such group or file.
QString defaultGroupValue(QString (*getter)(const QString&)) {
    try {
        return getter(GseLib::Config814::getDefaultGroup());
    } catch (const std::runtime_error&) {
        return {};
    }
}

}  // namespace

MassCal::MassCal(QObject* parent) : QObject(parent) {}

bool MassCal::loadFromFile(const QString& path) {
    emit aboutToLoad();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return false;
    }
    const QString text = QString::fromUtf8(file.readAll());
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8());
    const QJsonObject map = doc.isObject() ? doc.object() : QJsonObject();
    const int version = map.contains(KEY_VERSION) ? map.value(KEY_VERSION).toInt() : 1;

    std::vector<MassCalEntry> read;
    int mode = BIN;
    if (version >= 2) {
        if (map.contains(KEY_CTRL_MODE)) {
            mode = map.value(KEY_CTRL_MODE).toInt();
        }
        for (const QJsonValue& e : map.value(KEY_ENTRIES).toArray()) {
            const QString entryText =
                e.isObject()
                    ? QString::fromUtf8(QJsonDocument(e.toObject()).toJson(QJsonDocument::Compact))
                    : QString();
            read.emplace_back(2, entryText);
        }
    } else {
        read.emplace_back(1, text);
    }

    std::map<int, MassCalEntry> entries;
    const MassCalEntry* first = nullptr;
    for (const MassCalEntry& e : read) {
        if (!e.isValid()) {
            continue;
        }
        entries[e.phaseCycle()] = e;
        if (!first) {
            first = &e;
        }
    }
    // Every calibration has a default entry: the first one of the file stands in when the file
    // names none.
    if (first && !entries.count(DEFAULT_PHASE_CYCLE)) {
        entries[DEFAULT_PHASE_CYCLE] = entries.at(first->phaseCycle());
    }

    filePath_ = path;
    fileVersion_ = version;
    controlMode_ = mode;
    entries_ = std::move(entries);
    emit changed();
    return true;
}

QString MassCal::findNewestConfig(const QString& dir) const {
    if (dir.isEmpty()) {
        return {};
    }
    const QFileInfoList files = QDir(dir).entryInfoList(
        QStringList{MCAL_NAME_FILTER}, QDir::Files | QDir::Readable, QDir::Name | QDir::Reversed);
    return files.isEmpty() ? QString() : files.front().absoluteFilePath();
}

bool MassCal::searchAndLoad(const QString& tidDir) {
    QString path = findNewestConfig(tidDir);
    if (path.isEmpty()) {
        const QString source = findNewestConfig(defaultGroupValue(&GseLib::Config814::getMcalDir));
        if (source.isEmpty()) {
            return false;
        }
        // The test run keeps the calibration it was analysed with.
        path = tidDir + QLatin1Char('/') + QFileInfo(source).fileName();
        if (!QFile::copy(source, path)) {
            GSE_LOG_WARN(
                "mcal",
                QStringLiteral("Could not copy %1 to %2; using it in place").arg(source, path));
            path = source;
        }
    }
    return loadFromFile(path);
}

MassCalEntry MassCal::entry(int phaseCycle) const {
    auto it = entries_.find(phaseCycle);
    if (it == entries_.end()) {
        it = entries_.find(DEFAULT_PHASE_CYCLE);
    }
    return it == entries_.end() ? MassCalEntry() : it->second;
}

QList<int> MassCal::phaseCycles() const {
    QList<int> cycles;
    for (const auto& kv : entries_) {
        cycles.append(kv.first);
    }
    return cycles;
}

void MassCal::addMassCalEntry(int phaseCycle) {
    MassCalEntry e;
    e.setPhaseCycle(phaseCycle);
    entries_[phaseCycle] = e;
    emit changed();
}

void MassCal::removeMassCalEntry(int phaseCycle) {
    entries_.erase(phaseCycle);
    emit changed();
}

void MassCal::clearEntries() {
    entries_.clear();
    emit changed();
}

void MassCal::addDataPoint(int phaseCycle, double control, double amu) {
    auto it = entries_.find(phaseCycle);
    if (it == entries_.end()) {
        MassCalEntry e;
        e.setPhaseCycle(phaseCycle);
        it = entries_.emplace(phaseCycle, e).first;
    }
    it->second.addDataPoint(control, amu);
    emit changed();
}

void MassCal::removeDataPoint(int phaseCycle, double control) {
    auto it = entries_.find(phaseCycle);
    if (it != entries_.end() && it->second.removeDataPoint(control)) {
        emit changed();
    }
}

void MassCal::setOrder(int phaseCycle, int order) {
    auto it = entries_.find(phaseCycle);
    if (it != entries_.end()) {
        it->second.setOrder(order);
        emit changed();
    }
}

void MassCal::setControlMode(ControlMode mode) {
    if (controlMode_ != mode) {
        controlMode_ = mode;
        emit changed();
    }
}

QString MassCal::controlModeAsString() const {
    switch (controlMode_) {
        case BIN:
            return QStringLiteral("BIN");
        case RF_MON:
            return QStringLiteral("RF_MON");
        case RF_DAC:
            return QStringLiteral("RF_DAC");
        default:
            return QStringLiteral("UNKNOWN");
    }
}

QString MassCal::toString() const {
    QJsonArray entries;
    for (const auto& kv : entries_) {
        entries.append(kv.second.toJson());
    }
    const QJsonObject o{
        {KEY_VERSION, NEWEST_VERSION}, {KEY_CTRL_MODE, controlMode_}, {KEY_ENTRIES, entries}};
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

QList<double> MassCal::getDefaultMasses() {
    QList<double> masses;
    const QString gse = defaultGroupValue(&GseLib::Config814::getGsePath);
    if (gse.isEmpty()) {
        return masses;
    }
    const QFileInfoList files =
        QDir(gse + QStringLiteral("/mcal"))
            .entryInfoList(QStringList{MASSES_NAME_FILTER}, QDir::Files, QDir::Name);
    if (files.isEmpty()) {
        return masses;
    }
    QFile file(files.front().absoluteFilePath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return masses;
    }
    QTextStream in(&file);
    QString line;
    while (in.readLineInto(&line)) {
        const QString t = line.trimmed();
        if (t.isEmpty() || t.startsWith(QLatin1Char(COMMENT_SYMBOL))) {
            continue;
        }
        bool ok = false;
        const double m = t.toDouble(&ok);
        if (ok) {
            masses.append(m);
        }
    }
    std::sort(masses.begin(), masses.end());
    return masses;
}

void initializeMassCal(MassCal& cal, const GseLib::TmMeta& meta, const QString& tidDir) {
    const QString named = meta.defaultMcal();
    if (!named.isEmpty()) {
        const QFileInfo file(QDir(tidDir).filePath(named));
        if (file.exists()) {
            cal.loadFromFile(file.absoluteFilePath());
            return;
        }
    }
    cal.searchAndLoad(tidDir);
}

}  // namespace TarGse
