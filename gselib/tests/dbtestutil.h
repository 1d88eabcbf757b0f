#pragma once

#include <gselib/tmdatabase.h>

#include "testutil.h"

#include <QMap>
#include <QStringList>
#include <sstream>

namespace testutil {

/// Builds database text files column by column, so each test names only the cells it needs.
class DbFile {
public:
    explicit DbFile(QStringList columns = GseLib::TelemetryDatabase::TMDB_HDR)
        : columns_(std::move(columns)) {}

    DbFile& header(const QString& extraCell) {
        extra_ = extraCell;
        return *this;
    }
    /// A row from column -> cell pairs; unnamed columns stay empty.
    DbFile& row(const QMap<QString, QString>& cells) {
        QStringList line;
        for (const QString& c : columns_) {
            line.append(cells.value(c));
        }
        lines_.append(line.join('\t'));
        return *this;
    }
    DbFile& raw(const QString& line) {
        lines_.append(line);
        return *this;
    }
    QByteArray text() const {
        QString h = columns_.join('\t');
        if (!extra_.isEmpty()) {
            h += '\t' + extra_;
        }
        return (QStringList{h} + lines_).join('\n').toUtf8() + '\n';
    }
    QString write(const QTemporaryDir& dir, const QString& name) const {
        const QString path = dir.filePath(name);
        writeFile(path, text());
        return path;
    }

private:
    QStringList columns_;
    QString extra_ = QStringLiteral("$Revision: 77 $");
    QStringList lines_;
};

/// A complete, valid row: a 16-bit big-endian unsigned value at offset 4 of packet type 22.
inline QMap<QString, QString> basicRow(int id, const QString& subsystem, const QString& name) {
    return {{"SUB_SYSTEM", subsystem},
            {"NAME", name},
            {"DESCRIPTION", name + " reading"},
            {"DATA_ID", QString::number(id)},
            {"PACKET_TYPE", "22"},
            {"DECODE_TYPE", "1"},
            {"DECODE_ID1", "4"},
            {"DECODE_ID2", "2"},
            {"DECODE_ID3", "0xFFFF"},
            {"DECODE_ID4", "0"},
            {"RAW_FMT", "%1.0f"},
            {"ENG_FMT", "%.3f"},
            {"ENG_EQ_TYPE", "1"},
            {"ENG_K1", "0"},
            {"ENG_K2", "1"},
            {"SCI_UNITS", "V"},
            {"SCI_FMT", "%.3f"},
            {"SCI_EQ_TYPE", "0"},
            {"SCI_FROM_ENG", "0"},
            {"SCI_K1", "0"},
            {"SCI_K2", "0"},
            {"SCI_K3", "0"},
            {"SCI_K4", "0"},
            {"SCI_K5", "0"},
            {"SCI_K6", "0"},
            {"SCI_K7", "0"},
            {"SCI_K8", "0"}};
}

inline QMap<QString, QString> with(QMap<QString, QString> cells,
                                   const QMap<QString, QString>& changes) {
    for (auto it = changes.begin(); it != changes.end(); ++it) {
        cells[it.key()] = it.value();
    }
    return cells;
}

/// The instrument's message text: TOM type 8, from byte 8 up to the checksum (or a zero byte).
inline QMap<QString, QString> messageTextRow() {
    return with(basicRow(800, "MSG", "TEXT"), {{"PACKET_TYPE", "8"},
                                               {"DECODE_TYPE", "7"},
                                               {"DECODE_ID1", "8"},
                                               {"DECODE_ID2", "-4"},
                                               {"DECODE_ID3", "0"}});
}

}  // namespace testutil
