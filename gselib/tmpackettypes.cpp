#include <gselib/tmpackettypes.h>

#include <gselib/datainterpretation.h>
#include <gselib/tmdatabase.h>
#include <gselib/tmdatabaseparser.h>
#include <tools/logger/eventmessage.h>

#include <QFile>
#include <QTextStream>
#include <algorithm>

namespace GseLib {

TMPacketTypeInfo::TMPacketTypeInfo(const QString& line, const TelemetryDatabase* db) {
    QStringList parts = line.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (QString& p : parts) {
        p = p.trimmed();
    }
    if (parts.size() < 5) {
        return;
    }
    if (!parseCInt32(parts[0], type)) {
        type = 0;
    }
    name = parts[1];
    isGse = parts[2].startsWith(QLatin1Char('t'));
    minLength = parts[3].toInt(nullptr, 10);
    maxLength = parts[4].toInt(nullptr, 10);
    if (parts.size() > 5 && db) {
        const QString& mnemonic = parts[5];
        bool isId = false;
        const int id = mnemonic.toInt(&isId, 10);
        const QByteArray key = isId ? QByteArray()
                               : mnemonic.contains(QLatin1Char(':'))
                                   ? mnemonic.toLatin1()
                                   : QByteArray(":") + mnemonic.toLatin1();
        const uint32_t dataId =
            isId ? static_cast<uint32_t>(id) : static_cast<uint32_t>(db->getId(key.constData()));
        if ((isId && id > 0 && db->contains(dataId)) || (!isId && dataId > 0)) {
            timeItemId = static_cast<int>(dataId);
            timeItemName = QString::fromLatin1(db->row(dataId).signal_name);
        } else {
            GSE_LOG_WARN("packet_type", QStringLiteral("Packet ") + name +
                                            QStringLiteral(" time mnemonic does not exist: ") +
                                            mnemonic);
        }
    }
    valid = true;
}

TMPacketTypeInfo::TMPacketTypeInfo(const QString& line, const DataInterpretation* di)
    : TMPacketTypeInfo(line, di ? di->db() : nullptr) {}

bool PacketTypes::load(const QString& path, const DataInterpretation* di) {
    return load(path, di ? static_cast<const TelemetryDatabase*>(di->db()) : nullptr);
}

bool PacketTypes::load(const QStringList& lines, const DataInterpretation* di) {
    return load(lines, di ? static_cast<const TelemetryDatabase*>(di->db()) : nullptr);
}

void PacketTypes::addLine(const QString& raw, const TelemetryDatabase* db) {
    const QString line = raw.trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) {
        return;
    }
    const TMPacketTypeInfo info(line, db);
    if (!info.valid) {
        GSE_LOG_WARN("apids", QStringLiteral("Bad packet type info: ") + line);
        return;
    }
    entries_.insert(info.type, info);
}

bool PacketTypes::load(const QString& path, const TelemetryDatabase* db) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        GSE_LOG_WARN("apids", QStringLiteral("Failed to open: ") + path);
        return false;
    }
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    QString line;
    while (in.readLineInto(&line)) {
        addLine(line, db);
    }
    return true;
}

bool PacketTypes::load(const QStringList& lines, const TelemetryDatabase* db) {
    for (const QString& line : lines) {
        addLine(line, db);
    }
    return true;
}

int PacketTypes::type(const QString& name) const {
    for (auto it = entries_.constBegin(); it != entries_.constEnd(); ++it) {
        if (it->name == name) {
            return it.key();
        }
    }
    return -1;
}

bool PacketTypes::isValidLength(int type, int length) const {
    const auto it = entries_.constFind(type);
    if (it == entries_.constEnd()) {
        return false;
    }
    if (it->minLength < 0) {
        return true;
    }
    if (it->minLength > length) {
        return false;
    }
    return length <= it->maxLength;
}

QDebug operator<<(QDebug debug, const TMPacketTypeInfo& info) {
    QDebugStateSaver saver(debug);
    debug.nospace().noquote() << "TMPacketTypeInfo(Type:" << info.type << " name:" << info.name
                              << " isGse:" << (info.isGse ? "true" : "false")
                              << " minLength:" << info.minLength << " maxLength:" << info.maxLength
                              << ")";
    return debug;
}

QDebug operator<<(QDebug debug, const PacketTypes& types) {
    QList<int> keys = types.entries().keys();
    std::sort(keys.begin(), keys.end());
    for (int k : keys) {
        debug << types.entries().value(k) << "\n";
    }
    return debug;
}

}  // namespace GseLib
