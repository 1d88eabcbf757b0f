#pragma once

#include <QDebug>
#include <QHash>
#include <QString>
#include <QStringList>

namespace GseLib {

class DataInterpretation;
class TelemetryDatabase;

/**
 * @brief One packet type of the catalogue: name, ground-made flag, allowed lengths and the
 * mnemonic that carries the packet's time.
 *
 * Line format: "type, name, isGse, minLength, maxLength[, time mnemonic]" where the mnemonic is
 * a data ID, a "subsystem:name" key or a bare name (looked up as ":" + name).
 */
class TMPacketTypeInfo {
public:
    TMPacketTypeInfo() = default;
    /// Parses one line; time mnemonics are resolved in db when it is given.
    TMPacketTypeInfo(const QString& line, const TelemetryDatabase* db);
    TMPacketTypeInfo(const QString& line, const DataInterpretation* di);

    bool valid = false;
    int type = 0;
    QString name = QStringLiteral("Unknown packet");
    bool isGse = false;
    int minLength = -1;
    int maxLength = -1;
    int timeItemId = -1;
    QString timeItemName;
};

/**
 * @brief The packet types a mission uses, by type number.
 */
class PacketTypes {
public:
    /// Reads a catalogue file; false when it cannot be opened.
    bool load(const QString& path, const TelemetryDatabase* db);
    /// Reads catalogue lines held in memory; always true.
    bool load(const QStringList& lines, const TelemetryDatabase* db);
    /// The same, resolving time mnemonics in the engine's database (di may be null).
    bool load(const QString& path, const DataInterpretation* di);
    bool load(const QStringList& lines, const DataInterpretation* di);

    /// Type of the entry with exactly that name, or -1.
    int type(const QString& name) const;
    /// False for unknown types; a negative minimum accepts any length.
    bool isValidLength(int type, int length) const;
    /// The entry of type, or a default entry ("Unknown packet") when there is none.
    TMPacketTypeInfo info(int type) const { return entries_.value(type); }
    /// The entry of type without copying it, or null.
    const TMPacketTypeInfo* find(int type) const {
        const auto it = entries_.constFind(type);
        return it == entries_.constEnd() ? nullptr : &*it;
    }
    bool contains(int type) const { return entries_.contains(type); }
    const QHash<int, TMPacketTypeInfo>& entries() const { return entries_; }

private:
    void addLine(const QString& line, const TelemetryDatabase* db);

    QHash<int, TMPacketTypeInfo> entries_;
};

QDebug operator<<(QDebug debug, const TMPacketTypeInfo& info);
QDebug operator<<(QDebug debug, const PacketTypes& types);

}  // namespace GseLib
