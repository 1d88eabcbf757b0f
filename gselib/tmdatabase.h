#pragma once

#include <gselib/tmdatabaserow.h>

#include <QByteArray>
#include <QJsonDocument>
#include <QList>
#include <QString>
#include <QStringList>
#include <map>
#include <memory>
#include <ostream>
#include <unordered_map>
#include <variant>
#include <vector>

namespace GseLib {

/**
 * @brief A mission's telemetry database: rows by data ID and by key, with the clocks and
 * constants that lie next to the main file.
 *
 * `load` applies a list of files in order: the main TAB-separated database, then text patches
 * (same format; a negative DATA_ID removes a row) and JSON packet descriptions. Damaged cells fall
 * back to defaults; structural errors (a missing required column, an impossible decode
 * description, an invalid mine type) raise std::runtime_error out of the load.
 */
class TelemetryDatabase {
public:
    using Constant = std::variant<int, double, QByteArray>;

    /// Columns of the text database that the stream output writes.
    static const QStringList TMDB_HDR;
    /// Columns of the lines built from JSON packet descriptions.
    static const QStringList JSON_HDR;

    TelemetryDatabase();
    virtual ~TelemetryDatabase();

    /**
     * Replaces the content by files applied in order; clocks and constants come from the
     * directory of the first file. Per-file failures are logged; always returns true.
     * @throw std::runtime_error for structural errors in a file (see the class description)
     */
    virtual bool load(const QStringList& files, const QString& definitionsDir);
    /// Applies one text or JSON (".json") file; false when it cannot be opened or parsed.
    bool patch(const QString& file, const QByteArray& definitionsDir);
    /// Applies a JSON packet description.
    bool jsonPatch(const QJsonDocument& doc);
    void loadClocksFile(const QString& path);
    void loadConstants(const QString& path);

    void addOrUpdateRow(uint32_t dataId, const TmDatabaseRow::Cells& cells,
                        const QByteArray& definitionsDir);
    void addRow(const TmDatabaseRow& row);
    bool removeRow(uint32_t dataId);
    bool removeRow(const char* key);

    /// Data ID of key, 0 when unknown.
    int getId(const char* key) const;
    /// @throw std::out_of_range with the decimal ID when there is no such row
    TmDatabaseRow& row(uint32_t dataId);
    const TmDatabaseRow& row(uint32_t dataId) const;
    /// @throw std::out_of_range with the key when there is no such row
    TmDatabaseRow& row(const char* key);
    const TmDatabaseRow& row(const char* key) const;
    bool contains(uint32_t dataId) const { return rows_.count(dataId) != 0; }

    QList<uint32_t> allIds() const;
    /// "key:NNNN" for every row, by ascending ID.
    QStringList allKeys() const;
    QList<uint32_t> usedDecoderTypes() const;
    QList<uint32_t> usedSciEqTypes() const;
    bool hasClocks() const { return !clocks_.empty(); }
    size_t size() const { return rows_.size(); }

    QString revision() const { return revision_; }
    void setRevision(const QString& revision) { revision_ = revision; }
    void setIgnoreQuipMineTypeNone(bool ignore) { ignoreQuipMineTypeNone_ = ignore; }
    QStringList loadedFiles() const { return loadedFiles_; }
    const TmDatabaseRow::ClockMap& clocks() const { return clocks_; }
    const std::map<QByteArray, Constant>& constants() const { return constants_; }
    QStringList packetTypeLines() const { return packetTypeLines_; }
    QList<int> apidList() const { return apidList_; }

private:
    bool patchText(const QString& file, const QByteArray& definitionsDir);
    bool patchJson(const QString& file, const QByteArray& definitionsDir);
    void indexKey(uint32_t dataId, const QByteArray& key);

    QString revision_;
    QStringList loadedFiles_;
    std::unordered_map<uint32_t, TmDatabaseRow> rows_;
    std::map<QByteArray, uint32_t> keyToId_;
    std::map<uint32_t, std::vector<QByteArray>> idToKeys_;
    TmDatabaseRow::ClockMap clocks_;
    std::map<QByteArray, Constant> constants_;
    bool ignoreQuipMineTypeNone_ = false;
    QStringList packetTypeLines_;
    QList<int> apidList_;
    // Definitions directory of the JSON patch being applied.
    QByteArray jsonDefinitionsDir_;
};

/// Writes the database as a text database: header (with the revision keyword), then each row.
std::ostream& operator<<(std::ostream& out, const TelemetryDatabase& db);

}  // namespace GseLib
