#include <gselib/tmmeta.h>

#include <tools/logger/eventmessage.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimeZone>

namespace GseLib {

const QString TmMeta::TM_META_NAME = QStringLiteral("tm.meta");
const QStringList TmMeta::FILE_FILTER = {TmMeta::TM_META_NAME};
const QString TmMeta::KEY_VERSION = QStringLiteral("version");
const QString TmMeta::KEY_MISSION = QStringLiteral("mission");
const QString TmMeta::KEY_MODEL = QStringLiteral("model");
const QString TmMeta::KEY_PATCH_FILES = QStringLiteral("patch_files");
const QString TmMeta::KEY_TID = QStringLiteral("tid");
const QString TmMeta::KEY_TID_DIR = QStringLiteral("tid_dir");
const QString TmMeta::KEY_TMFILE_NAME = QStringLiteral("tmfile_name");
const QString TmMeta::KEY_DEFAULT_MCAL = QStringLiteral("default_mcal");
const QString TmMeta::KEY_DAC_TABLE = QStringLiteral("dac_table");
const QString TmMeta::KEY_GSE = QStringLiteral("gse");
const QString TmMeta::KEY_ANNOTATIONS = QStringLiteral("annotations");

TmMeta::TmMeta() = default;

TmMeta::TmMeta(const QString& path) {
    const QFileInfo info(path);
    if (info.isFile()) {
        directoryPath_ = info.absolutePath();
        const QString name = info.fileName();
        if (name.endsWith(QLatin1String("meta")) || name.endsWith(QLatin1String("json"))) {
            valid_ = parseFile(info.absoluteFilePath());
        } else {
            // A telemetry file: its own sibling "<name>.meta" wins over the directory's tm.meta.
            valid_ = parseFile(info.absoluteFilePath() + QStringLiteral(".meta"));
        }
    } else {
        directoryPath_ = path;
        valid_ = parseFile(info.absoluteFilePath());
    }
    if (!valid_) {
        valid_ = findAndHandleFile(directoryPath_);
    }
}

bool TmMeta::findAndHandleFile(const QString& directory) {
    if (directory.isEmpty()) {
        return false;
    }
    const QDir dir(directory);
    QFileInfoList entries = dir.entryInfoList(FILE_FILTER, QDir::Files, QDir::Time);
    if (entries.isEmpty()) {
        entries = dir.entryInfoList({QStringLiteral("*.meta")}, QDir::Files, QDir::Time);
    }
    if (entries.isEmpty()) {
        return false;
    }
    return parseFile(entries.first().absoluteFilePath());
}

bool TmMeta::parseFile(const QString& path) {
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
    if (doc.isNull()) {
        return false;
    }
    fileName_ = path;
    json_ = doc.object();
    if (json_.contains(KEY_ANNOTATIONS)) {
        annotations_ =
            Annotation::fromVariantList(json_.value(KEY_ANNOTATIONS).toArray().toVariantList());
    }
    const QVariantMap gse = json_.value(KEY_GSE).toObject().toVariantMap();
    version_ = gse.value(KEY_VERSION).toInt();
    switch (version_) {
        case 1:
            return handleV1(gse);
        case 2:
            return handleV2(gse);
        case 3:
            return handleV3(gse);
        default:
            break;
    }
    if (version_ > CURRENT_VERSION) {
        GSE_LOG_WARN("tmmeta", QStringLiteral("tm.meta version %1 higher than supported version "
                                              "%2. Attempting to parse anyways.")
                                   .arg(version_)
                                   .arg(CURRENT_VERSION));
        return handleV3(gse);
    }
    return false;
}

bool TmMeta::handleV1(const QVariantMap& gse) {
    mission_ = gse.value(KEY_MISSION).toString();
    model_ = gse.value(KEY_MODEL).toString();
    tmfileName_ = gse.value(KEY_TMFILE_NAME).toString();
    tidDir_ = gse.value(KEY_TID_DIR).toString();
    patchFiles_ = gse.value(KEY_PATCH_FILES).toStringList();
    tid_ = gse.value(KEY_TID).toInt();
    return true;
}

bool TmMeta::handleV2(const QVariantMap& gse) {
    handleV1(gse);
    defaultMcal_ = gse.value(KEY_DEFAULT_MCAL).toString();
    return true;
}

bool TmMeta::handleV3(const QVariantMap& gse) {
    handleV2(gse);
    dacTable_ = gse.value(KEY_DAC_TABLE).toString();
    return true;
}

void TmMeta::setDirectoryPath(const QString& path, bool search) {
    directoryPath_ = path;
    if (search) {
        valid_ = findAndHandleFile(path);
    }
}

void TmMeta::refresh() {
    valid_ = findAndHandleFile(directoryPath_);
}

bool TmMeta::isMission(const QString& name) const {
    return mission_.compare(name, Qt::CaseInsensitive) == 0;
}

QString TmMeta::config814Group() const {
    QString group = mission_.toUpper();
    if (!model_.isEmpty()) {
        group += QLatin1Char('_') + model_.toUpper();
    }
    return group;
}

QDateTime TmMeta::datetimeFromTidDir() const {
    // Date and time are read separately and combined in the station's zone: going through the
    // machine's local time first would lose instants that do not exist in that zone.
    const QString stamp = tidDir_.left(19);
    const QDate date = QDate::fromString(stamp.left(10), QStringLiteral("yyyy-MM-dd"));
    const QTime time = QTime::fromString(stamp.mid(11), QStringLiteral("hh.mm.ss"));
    if (stamp.size() != 19 || stamp.at(10) != QLatin1Char('-') || !date.isValid() ||
        !time.isValid()) {
        return QDateTime();
    }
    return QDateTime(date, time, QTimeZone("America/New_York"));
}

QJsonObject TmMeta::toJson() const {
    QJsonObject out = json_;
    QJsonObject gse;
    gse.insert(KEY_DEFAULT_MCAL, defaultMcal_);
    gse.insert(KEY_VERSION, CURRENT_VERSION);
    gse.insert(KEY_MODEL, model_);
    gse.insert(KEY_TMFILE_NAME, tmfileName_);
    gse.insert(KEY_MISSION, mission_);
    gse.insert(KEY_TID, tid_);
    gse.insert(KEY_TID_DIR, tidDir_);
    gse.insert(KEY_PATCH_FILES, QJsonArray::fromStringList(patchFiles_));
    gse.insert(KEY_DAC_TABLE, dacTable_);
    out.insert(KEY_GSE, gse);
    out.insert(KEY_ANNOTATIONS, Annotation::toJsonArray(annotations_));
    return out;
}

QByteArray TmMeta::toAscii() const {
    return QJsonDocument(toJson()).toJson(QJsonDocument::Indented);
}

QString TmMeta::toString() const {
    return QString::fromUtf8(toAscii());
}

bool TmMeta::save(const QString& directory) const {
    const QString dir = directory.isEmpty() ? directoryPath_ : directory;
    if (dir.isEmpty() || !QFileInfo(dir).isDir()) {
        return false;
    }
    return saveAs(dir + QLatin1Char('/') + TM_META_NAME);
}

bool TmMeta::saveAs(const QString& filePath) const {
    QFile file(filePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    file.write(toAscii());
    return true;
}

QDebug operator<<(QDebug debug, const TmMeta& meta) {
    QDebugStateSaver saver(debug);
    debug.noquote().nospace() << "TmMeta : " << meta.toString();
    return debug;
}

}  // namespace GseLib
