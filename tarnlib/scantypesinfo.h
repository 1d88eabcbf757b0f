#pragma once

#include <tarnlib/scantypeinfo.h>

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <optional>

namespace TarGse {

/**
 * @brief The table of special scan types, "scantypesinfo.json" in the TM definitions directory of
 * the configuration's default group: a JSON array of objects, one ScanTypeInfo each.
 *
 * A missing file leaves an empty table, so special scan values fall back to DAC rows or show
 * raw; a malformed one does the same after one line on standard error.
 */
class ScanTypesInfo {
public:
    static const char* const CFG_FILENAME;

    /// Reads the table from the default group's TM definitions directory.
    void reload();
    /// Reads the table from path; a missing or malformed file gives an empty table.
    void reload(const QString& path);

    QStringList names() const;
    /// Special scan ids in ascending order.
    QList<uint32_t> ids() const { return entries_.keys(); }
    std::optional<ScanTypeInfo> info(uint32_t id) const;
    bool hasId(uint32_t id) const { return entries_.contains(id); }

private:
    QMap<uint32_t, ScanTypeInfo> entries_;
};

}  // namespace TarGse
