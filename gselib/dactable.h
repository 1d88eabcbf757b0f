#pragma once

#include <gselib/dactablerow.h>

#include <QList>
#include <QMap>
#include <QString>
#include <QTextStream>

namespace GseLib {

/**
 * @brief The DAC channels of an instrument, by name and by DAC ID, read from a TAB-separated
 * file ('#' lines are comments).
 */
class DacTable {
public:
    /// Name returned for a DAC ID the table does not know.
    static const QByteArray unknown;

    /// Reads path; a file that does not exist or cannot be opened changes nothing.
    void initialize(const QString& path);
    /// Stores row under its name (replacing one of the same name) and maps its DAC ID to it.
    void addRow(const DacTableRow& row);
    /// The row of that name, or a default row.
    DacTableRow row(const char* name) const;
    QByteArray name(int dacId) const;
    QList<QByteArray> getNames() const { return rows_.keys(); }
    /// DAC IDs in ascending order.
    QList<int> allDacIds() const { return idToName_.keys(); }
    void clear();
    /// One TAB-separated line per row, in the file's field order.
    void dump(QTextStream& out) const;

    QString path() const { return path_; }
    void setPath(const QString& path) { path_ = path; }
    qsizetype size() const { return rows_.size(); }

private:
    QMap<QByteArray, DacTableRow> rows_;
    QMap<int, QByteArray> idToName_;
    QString path_;
};

}  // namespace GseLib
