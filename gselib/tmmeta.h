#pragma once

#include <gselib/annotation.h>

#include <QByteArray>
#include <QDateTime>
#include <QDebug>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace GseLib {

/**
 * @brief The test metadata of a TID directory ("tm.meta").
 *
 * Says which mission and model produced the data, which database patches, mass calibration and
 * DAC table apply, and carries user annotations. Top-level keys this class does not know are
 * kept and written back unchanged.
 */
class TmMeta {
public:
    static const QString TM_META_NAME;
    static const QStringList FILE_FILTER;
    static constexpr int CURRENT_VERSION = 3;
    static const QString KEY_VERSION;
    static const QString KEY_MISSION;
    static const QString KEY_MODEL;
    static const QString KEY_PATCH_FILES;
    static const QString KEY_TID;
    static const QString KEY_TID_DIR;
    static const QString KEY_TMFILE_NAME;
    static const QString KEY_DEFAULT_MCAL;
    static const QString KEY_DAC_TABLE;
    static const QString KEY_GSE;
    static const QString KEY_ANNOTATIONS;

    /// Empty and not valid.
    TmMeta();
    /// Reads the metadata for path: a metadata file, a telemetry file or a directory.
    explicit TmMeta(const QString& path);

    bool parseFile(const QString& path);
    /// Parses "tm.meta" in directory, or else its newest "*.meta" file.
    bool findAndHandleFile(const QString& directory);
    bool handleV1(const QVariantMap& gse);
    bool handleV2(const QVariantMap& gse);
    bool handleV3(const QVariantMap& gse);

    void setDirectoryPath(const QString& path, bool search);
    void refresh();

    bool isMission(const QString& name) const;
    /// Upper-cased mission, then "_" and the upper-cased model when there is one.
    QString config814Group() const;
    /// Local start time of the test, from the first 19 characters of the TID directory name.
    QDateTime datetimeFromTidDir() const;

    QJsonObject toJson() const;
    QByteArray toAscii() const;
    QString toString() const;
    bool save(const QString& directory = QString()) const;
    bool saveAs(const QString& filePath) const;

    void setAnnotations(const QList<Annotation>& annotations) { annotations_ = annotations; }
    void addAnnotation(const Annotation& annotation) { annotations_.append(annotation); }

    bool isValid() const { return valid_; }
    QString directoryPath() const { return directoryPath_; }
    QString fileName() const { return fileName_; }
    QJsonObject json() const { return json_; }
    QString defaultMcal() const { return defaultMcal_; }
    QString mission() const { return mission_; }
    QString model() const { return model_; }
    QStringList patchFiles() const { return patchFiles_; }
    int tid() const { return tid_; }
    QString tidDir() const { return tidDir_; }
    QString tmfileName() const { return tmfileName_; }
    int version() const { return version_; }
    QString dacTable() const { return dacTable_; }
    QList<Annotation> annotations() const { return annotations_; }

    void setMission(const QString& mission) { mission_ = mission; }
    void setModel(const QString& model) { model_ = model; }
    void setPatchFiles(const QStringList& files) { patchFiles_ = files; }
    void setTid(int tid) { tid_ = tid; }
    void setTidDir(const QString& dir) { tidDir_ = dir; }
    void setTmfileName(const QString& name) { tmfileName_ = name; }
    void setDefaultMcal(const QString& mcal) { defaultMcal_ = mcal; }
    void setDacTable(const QString& table) { dacTable_ = table; }

private:
    bool valid_ = false;
    QString directoryPath_;
    QString fileName_;
    QJsonObject json_;
    QString defaultMcal_;
    QString mission_;
    QString model_;
    QStringList patchFiles_;
    int tid_ = 0;
    QString tidDir_;
    QString tmfileName_;
    int version_ = 0;
    QString dacTable_;
    QList<Annotation> annotations_;
};

QDebug operator<<(QDebug debug, const TmMeta& meta);

}  // namespace GseLib
