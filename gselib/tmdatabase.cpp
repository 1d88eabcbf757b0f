#include <gselib/tmdatabase.h>

#include <gselib/tmdatabaseparser.h>
#include <tools/logger/eventmessage.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonParseError>
#include <QRegularExpression>
#include <QSet>
#include <QTextStream>
#include <algorithm>
#include <set>
#include <stdexcept>

namespace GseLib {

namespace {

QString kRevisionPattern() {
    return QStringLiteral("\\$.*Revision:\\s*(\\w+).*$");
}

// Splits line on TAB into views, keeping empty cells; cells is reused between lines.
void splitCells(QStringView line, TmDatabaseRow::Cells& cells) {
    cells.clear();
    qsizetype start = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == QLatin1Char('\t')) {
            cells.push_back(line.mid(start, i - start));
            start = i + 1;
        }
    }
    cells.push_back(line.mid(start));
}

struct ElementType {
    int size;
    int decodeType;
};

// Element size and decoder of the JSON field types.
bool elementType(const QString& name, ElementType& out) {
    static const QHash<QString, ElementType> types = {
        {"uint64_t", {8, 1}}, {"double", {8, 6}},  {"int64_t", {8, 4}}, {"long", {8, 4}},
        {"uint32_t", {4, 1}}, {"float", {4, 5}},   {"int", {4, 4}},     {"int32_t", {4, 4}},
        {"uint16_t", {2, 1}}, {"int16_t", {2, 4}}, {"short", {2, 4}},   {"uint8_t", {1, 1}},
        {"int8_t", {1, 4}},   {"char", {1, 4}},
    };
    const auto it = types.constFind(name);
    if (it == types.constEnd()) {
        return false;
    }
    out = *it;
    return true;
}

// A JSON text as one cell of a database line: a TAB would start another cell and a line break
// another line, so both become blanks, as a cell of a text file cannot hold them either.
QString oneCell(QString text) {
    for (QChar& c : text) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            c = QLatin1Char(' ');
        }
    }
    return text;
}

QString g6(double v) {
    return QString::number(v, 'g', 6);
}

// The transfer function a JSON "conversion" object selects: polynomial -> type 1, LUT -> type
// 12 (the first argument names the table), countsToDbm -> type 13.
struct Conversion {
    bool present = false;
    QString units;
    int sciEqType = 0;
    QStringList sciK = QStringList(8, QStringLiteral("0"));
    QString extra;
};

Conversion readConversion(const QJsonObject& field) {
    Conversion c;
    if (!field.contains(QStringLiteral("conversion"))) {
        return c;
    }
    const QJsonObject conv = field.value(QStringLiteral("conversion")).toObject();
    c.present = true;
    c.units = conv.value(QStringLiteral("units")).toString();
    const QString function = conv.value(QStringLiteral("uncalToCalFunction")).toString();
    const QJsonArray args = conv.value(QStringLiteral("uncalToCalArgs")).toArray();
    if (function == QLatin1String("polynomial") || function == QLatin1String("countsToDbm")) {
        c.sciEqType = function == QLatin1String("polynomial") ? 1 : 13;
        for (qsizetype i = 0; i < args.size() && i < 8; ++i) {
            c.sciK[i] = g6(args.at(i).toDouble());
        }
    } else if (function == QLatin1String("LUT")) {
        c.sciEqType = 12;
        c.extra = args.isEmpty() ? QString() : args.at(0).toVariant().toString();
    } else if (!function.isEmpty()) {
        GSE_LOG_WARN("tmdb", QStringLiteral("Unknown uncalToCalFunction: ") + function);
    }
    // A free-form equation has no transfer function; it is kept as the row's extra text.
    if (c.extra.isEmpty()) {
        c.extra = conv.value(QStringLiteral("customEq")).toString();
    }
    return c;
}

// "value=label;..." from a "discreteLabels" object.
QString discreteLabelsCell(const QJsonObject& field) {
    const QJsonObject labels = field.value(QStringLiteral("discreteLabels")).toObject();
    QStringList parts;
    for (auto it = labels.begin(); it != labels.end(); ++it) {
        parts.append(it.key() + QLatin1Char('=') + it.value().toString());
    }
    return parts.join(QLatin1Char(';'));
}

}  // namespace

const QStringList TelemetryDatabase::TMDB_HDR = {
    "SUB_SYSTEM",     "NAME",           "DESCRIPTION",     "ADC_#",          "DATA_ID",
    "PACKET_TYPE",    "PACKET_SUBTYPE", "PACKET_NAME",     "APPLY_WHEN",     "DECODE_TYPE",
    "DECODE_ID1",     "DECODE_ID2",     "DECODE_ID3",      "DECODE_ID4",     "CLOCK",
    "RAW_FMT",        "ENG_FMT",        "ENG_EQ_TYPE",     "ENG_K1",         "ENG_K2",
    "SCI_UNITS",      "SCI_FMT",        "SCI_EQ_TYPE",     "SCI_FROM_ENG",   "SCI_K1",
    "SCI_K2",         "SCI_K3",         "SCI_K4",          "SCI_K5",         "SCI_K6",
    "SCI_K7",         "SCI_K8",         "DISCRETE_LABELS", "MUX_CH",         "LIMIT_TYPE_1",
    "YELLOW_LIMIT_1", "RED_LIMIT_1",    "LIMIT_TYPE_2",    "YELLOW_LIMIT_2", "RED_LIMIT_2",
    "LIMITS",         "HISTORY",        "EXTRA_1",         "QUIP_MINE_TYPE",
};

const QStringList TelemetryDatabase::JSON_HDR = {
    "SUB_SYSTEM",      "NAME",        "DESCRIPTION",  "DATA_ID",
    "PACKET_TYPE",     "DECODE_TYPE", "DECODE_ID1",   "DECODE_ID2",
    "DECODE_ID3",      "DECODE_ID4",  "RAW_FMT",      "ENG_FMT",
    "ENG_EQ_TYPE",     "ENG_K1",      "ENG_K2",       "SCI_UNITS",
    "SCI_FMT",         "SCI_EQ_TYPE", "SCI_FROM_ENG", "SCI_K1",
    "SCI_K2",          "SCI_K3",      "SCI_K4",       "SCI_K5",
    "SCI_K6",          "SCI_K7",      "SCI_K8",       "LIMIT_TYPE_1",
    "YELLOW_LIMIT_1",  "RED_LIMIT_1", "LIMIT_TYPE_2", "YELLOW_LIMIT_2",
    "RED_LIMIT_2",     "EXTRA_1",     "ARRAY_LENGTH", "SAMPLE_PERIOD",
    "DISCRETE_LABELS",
};

TelemetryDatabase::TelemetryDatabase() {
    rows_.max_load_factor(1.0f);
}

TelemetryDatabase::~TelemetryDatabase() = default;

bool TelemetryDatabase::load(const QStringList& files, const QString& definitionsDir) {
    revision_.clear();
    loadedFiles_.clear();
    rows_.clear();
    keyToId_.clear();
    idToKeys_.clear();
    clocks_.clear();
    constants_.clear();
    if (!files.isEmpty()) {
        const QString dir = QFileInfo(files.first()).absolutePath();
        loadClocksFile(dir + QStringLiteral("/clocks.txt"));
        loadConstants(dir + QStringLiteral("/constants.json"));
    }
    GSE_LOG_INFO("tmdb", QStringLiteral("Loading tmdb: ") + files.join(QLatin1Char(',')));
    const QByteArray dir = definitionsDir.toUtf8();
    for (const QString& file : files) {
        if (patch(file, dir)) {
            loadedFiles_.append(file);
        }
    }
    GSE_LOG_DEBUG("tmdb", QStringLiteral("Loaded %1 mnemonics").arg(rows_.size()));
    return true;
}

bool TelemetryDatabase::patch(const QString& file, const QByteArray& definitionsDir) {
    return file.endsWith(QLatin1String(".json")) ? patchJson(file, definitionsDir)
                                                 : patchText(file, definitionsDir);
}

bool TelemetryDatabase::patchText(const QString& path, const QByteArray& definitionsDir) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        GSE_LOG_ERROR("tmdb", QStringLiteral("Failed to open database file: ") + path);
        return false;
    }
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    QString line;
    line.reserve(16384);
    in.readLineInto(&line);

    static const QRegularExpression revisionRe(kRevisionPattern());
    const QRegularExpressionMatch m = revisionRe.match(line);
    if (m.hasMatch()) {
        revision_ = m.captured(1);
        GSE_LOG_DEBUG("tmdb", QStringLiteral("tmdb rev: ") + revision_);
    } else {
        GSE_LOG_WARN("tmdb", path + QStringLiteral(" database missing rev string"));
    }
    TmDatabaseRow::findHeaderFieldPositions(line.split(QLatin1Char('\t')));
    const int idPos = TmDatabaseRow::dataIdPosition();
    const int minePos = TmDatabaseRow::FIELD_INDEX[TmDatabaseRow::QUIP_MINE_TYPE];

    int commented = 0;
    int ignored = 0;
    TmDatabaseRow::Cells cells;
    cells.reserve(64);
    while (in.readLineInto(&line)) {
        if (line.isEmpty()) {
            continue;
        }
        if (line.at(0) == QLatin1Char('#')) {
            ++commented;
            continue;
        }
        splitCells(line, cells);
        int id = 0;
        if (static_cast<int>(cells.size()) <= idPos ||
            !parseCInt32(cells[static_cast<size_t>(idPos)], id) || id == 0) {
            GSE_LOG_WARN("tmdb", QStringLiteral("Skipping db row - invalid data id: ") + line);
            continue;
        }
        if (id < 0) {
            if (removeRow(static_cast<uint32_t>(-static_cast<long long>(id)))) {
                GSE_LOG_DEBUG(
                    "tmdb", QStringLiteral("Removed data ID: %1").arg(-static_cast<long long>(id)));
            }
            continue;
        }
        Gse::QuipMineType mine = Gse::QuipAll;
        if (minePos >= 0 && static_cast<size_t>(minePos) < cells.size() &&
            !cells[static_cast<size_t>(minePos)].isEmpty()) {
            extractValueFromText(cells[static_cast<size_t>(minePos)], mine);
        }
        if (mine == Gse::QuipNone && ignoreQuipMineTypeNone_) {
            ++ignored;
            continue;
        }
        addOrUpdateRow(static_cast<uint32_t>(id), cells, definitionsDir);
    }
    GSE_LOG_DEBUG("tmdb", QStringLiteral("Skipped %1 commented rows").arg(commented));
    if (ignoreQuipMineTypeNone_) {
        GSE_LOG_DEBUG("tmdb", QStringLiteral("Ignored %1 rows").arg(ignored));
    }
    return true;
}

bool TelemetryDatabase::patchJson(const QString& path, const QByteArray& definitionsDir) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        GSE_LOG_ERROR("tmdb", QStringLiteral("Failed to open database file: ") + path);
        return false;
    }
    TmDatabaseRow::findHeaderFieldPositions(JSON_HDR);
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
    file.close();
    if (doc.isNull()) {
        return false;
    }
    jsonDefinitionsDir_ = definitionsDir;
    return jsonPatch(doc);
}

bool TelemetryDatabase::jsonPatch(const QJsonDocument& doc) {
    // Rows of a JSON patch are read through the synthetic header, whoever called.
    TmDatabaseRow::findHeaderFieldPositions(JSON_HDR);
    packetTypeLines_.clear();
    apidList_.clear();
    const QJsonArray packets = doc.object().value(QStringLiteral("Packets")).toArray();
    TmDatabaseRow::Cells cells;
    for (qsizetype i = 0; i < packets.size(); ++i) {
        const QJsonObject packet = packets.at(i).toObject();
        if (!packet.contains(QStringLiteral("packetName")) ||
            !packet.contains(QStringLiteral("packetId")) ||
            !packet.contains(QStringLiteral("fields"))) {
            GSE_LOG_WARN(
                "tmdb",
                QStringLiteral("Missing required field in .json file. Packet index %1").arg(i));
            continue;
        }
        if (packet.contains(QStringLiteral("apid"))) {
            const int apid = packet.value(QStringLiteral("apid")).toInt();
            if (!apidList_.contains(apid)) {
                apidList_.append(apid);
            }
        }
        const QString packetName = packet.value(QStringLiteral("packetName")).toString();
        const long long packetId = packet.value(QStringLiteral("packetId")).toInteger();
        const bool gse = packet.value(QStringLiteral("gse")).toBool();
        packetTypeLines_.append(
            QStringLiteral("%1, %2, %3, -1, -1")
                .arg(packetId)
                .arg(packetName, gse ? QStringLiteral("true") : QStringLiteral("false")));
        // Data IDs are positive signed 32-bit numbers (the text reader reads no others), so the
        // highest packetId is 65535.
        if (packetId < 0 || packetId * 32768 + 32767 > 2147483647ll) {
            GSE_LOG_WARN("tmdb", QStringLiteral("packetId %1 of %2 gives data IDs beyond "
                                                "2147483647, packet skipped")
                                     .arg(packetId)
                                     .arg(packetName));
            continue;
        }

        long long offset = 0;
        int counter = 0;
        const QJsonArray fields = packet.value(QStringLiteral("fields")).toArray();
        for (qsizetype f = 0; f < fields.size(); ++f) {
            const QJsonObject field = fields.at(f).toObject();
            if (!field.contains(QStringLiteral("fieldName"))) {
                GSE_LOG_WARN(
                    "tmdb",
                    QStringLiteral("Missing fieldName for packet %1 index %2").arg(i).arg(f));
                continue;
            }
            const QString typeName = field.value(QStringLiteral("type")).toString();
            ElementType type{0, 1};
            if (!elementType(typeName, type)) {
                GSE_LOG_WARN("tmdb", QStringLiteral("Invalid database type: ") + typeName);
            }
            QString byteOrder;
            if (field.contains(QStringLiteral("byteOrder"))) {
                const QString digits = field.value(QStringLiteral("byteOrder")).toString();
                QStringList chars;
                for (QChar c : digits) {
                    chars.append(QString(c));
                }
                byteOrder = chars.join(QLatin1Char(':'));
            } else if (typeName == QLatin1String("float")) {
                byteOrder = QStringLiteral("4:3:2:1");
            } else if (typeName == QLatin1String("double")) {
                byteOrder = QStringLiteral("8:7:6:5:4:3:2:1");
            } else {
                byteOrder = QString::number(type.size);
            }
            const bool floating = type.decodeType == 5 || type.decodeType == 6;
            const Conversion conv = readConversion(field);
            const int arrayLength = field.value(QStringLiteral("arrayLength")).toInt(1);
            const double period = field.value(QStringLiteral("samplePeriod")).toDouble();

            QStringList base(JSON_HDR.size());
            base[0] = packetName;
            base[2] = field.value(QStringLiteral("description")).toString();
            base[4] = QString::number(packetId);
            base[5] = QString::number(type.decodeType);
            base[6] = QString::number(offset);
            base[7] = byteOrder;
            base[8] = QStringLiteral("0");
            base[9] = QStringLiteral("0");
            base[10] = floating ? QStringLiteral("%.6g") : QStringLiteral("%1.0f");
            base[11] = floating ? QStringLiteral("%.6g") : QStringLiteral("%1.0f");
            base[12] = QStringLiteral("0");
            base[13] = QStringLiteral("0");
            base[14] = QStringLiteral("1");
            base[15] = !conv.units.isEmpty()
                           ? conv.units
                           : field.value(QStringLiteral("units")).toString(QStringLiteral("Value"));
            base[16] = conv.present ? QStringLiteral("%.4f") : base[11];
            base[17] = QString::number(conv.sciEqType);
            base[18] = QStringLiteral("0");
            for (int k = 0; k < 8; ++k) {
                base[19 + k] = conv.sciK[k];
            }
            if (field.contains(QStringLiteral("limits"))) {
                // Science units when a conversion defines them, raw counts otherwise.
                const int lowType = conv.present ? 3 : 1;
                const QJsonObject lim = field.value(QStringLiteral("limits")).toObject();
                const QJsonArray yellow = lim.value(QStringLiteral("yellow")).toArray();
                const QJsonArray red = lim.value(QStringLiteral("red")).toArray();
                base[27] = QString::number(lowType);
                base[28] = g6(yellow.at(0).toDouble());
                base[29] = g6(red.at(0).toDouble());
                base[30] = QString::number(lowType + 4);
                base[31] = g6(yellow.at(1).toDouble());
                base[32] = g6(red.at(1).toDouble());
            } else {
                base[27] = QStringLiteral("0");
                base[30] = QStringLiteral("0");
            }
            base[33] = conv.extra;
            base[34] = QString::number(arrayLength);
            base[35] = period > 0 ? g6(period) : QStringLiteral("0");
            base[36] = discreteLabelsCell(field);

            // One row per bit field (all at the field's offset), or one for the whole field.
            struct Part {
                QString name;
                QString mask;
                QString description;
            };
            QList<Part> parts;
            const QString fieldName = field.value(QStringLiteral("fieldName")).toString();
            if (field.contains(QStringLiteral("bitFields"))) {
                const QJsonArray bits = field.value(QStringLiteral("bitFields")).toArray();
                for (qsizetype b = 0; b < bits.size(); ++b) {
                    const QJsonValue bit = bits.at(b);
                    const QJsonObject o = bit.toObject();
                    const QJsonValue maskValue =
                        bit.isObject() ? o.value(QStringLiteral("mask")) : bit;
                    unsigned long long mask = 0;
                    if (maskValue.isString()) {
                        extractValueFromText(maskValue.toString(), mask);
                    } else {
                        mask = static_cast<unsigned long long>(maskValue.toInteger());
                    }
                    const QString bitName =
                        o.value(QStringLiteral("name")).toString(QString::number(b));
                    parts.append({fieldName + QLatin1Char('_') + bitName,
                                  QStringLiteral("0x") + QString::number(mask, 16).toUpper(),
                                  o.value(QStringLiteral("description")).toString(base[2])});
                }
            } else {
                parts.append({fieldName, QStringLiteral("0"), base[2]});
            }
            for (const Part& part : parts) {
                const long long dataId = packetId * 32768 + (counter & 0x7FFF);
                ++counter;
                QStringList cellsText = base;
                cellsText[1] = part.name;
                cellsText[2] = part.description;
                cellsText[3] = QString::number(dataId);
                cellsText[8] = part.mask;
                for (QString& cell : cellsText) {
                    cell = oneCell(cell);
                }
                const QString line = cellsText.join(QLatin1Char('\t'));
                if (dataId == 0) {
                    // The first row of packet 0: ID 0 is no data ID, as in a text file.
                    GSE_LOG_WARN("tmdb",
                                 QStringLiteral("Skipping db row - invalid data id: ") + line);
                    continue;
                }
                splitCells(line, cells);
                TmDatabaseRow row;
                row.update(cells, jsonDefinitionsDir_, clocks_);
                addRow(row);
            }
            offset += static_cast<long long>(type.size) * std::max(1, arrayLength);
        }
    }
    return true;
}

void TelemetryDatabase::loadClocksFile(const QString& path) {
    if (!QFileInfo::exists(path)) {
        GSE_LOG_DEBUG("tmdb", QStringLiteral("Clocks not loaded...file does not exist: ") + path);
        return;
    }
    GSE_LOG_DEBUG("tmdb", QStringLiteral("Loading clocks: ") + path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        GSE_LOG_WARN("tmdb", QStringLiteral("Clock file parsing error: cannot open ") + path);
        return;
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError) {
        GSE_LOG_WARN("tmdb", QStringLiteral("Clock file parsing error: ") + error.errorString());
        return;
    }
    const QJsonArray clocks = doc.object().value(QStringLiteral("clocks")).toArray();
    for (const QJsonValue& v : clocks) {
        auto clock = std::make_shared<TMClock>(v.toObject());
        clocks_[clock->name().toUtf8()] = clock;
    }
    GSE_LOG_DEBUG("tmdb", QStringLiteral("Loaded %1 clocks").arg(clocks_.size()));
}

void TelemetryDatabase::loadConstants(const QString& path) {
    if (!QFileInfo::exists(path)) {
        GSE_LOG_DEBUG("tmdb",
                      QStringLiteral("Constants not loaded...file does not exist: ") + path);
        return;
    }
    GSE_LOG_DEBUG("tmdb", QStringLiteral("Loading constants: ") + path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        GSE_LOG_WARN("tmdb", QStringLiteral("Failed to open constants file: ") + path);
        return;
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError) {
        GSE_LOG_WARN("tmdb",
                     QStringLiteral("Failed to parse constants file: ") + error.errorString());
        return;
    }
    for (const QJsonValue& v : doc.array()) {
        const QJsonObject o = v.toObject();
        const QString type = o.value(QStringLiteral("type")).toString();
        const QByteArray name = o.value(QStringLiteral("name")).toString().toUtf8();
        const QString value = o.value(QStringLiteral("value")).toVariant().toString();
        if (type == QLatin1String("int")) {
            bool ok = false;
            const int i = value.toInt(&ok, 10);
            if (!ok) {
                GSE_LOG_WARN("tmdb",
                             QStringLiteral("Could not convert constant value to int: ") + value);
                continue;
            }
            constants_[name] = i;
        } else if (type == QLatin1String("double")) {
            double d = 0.0;
            if (!parseDouble(value, d)) {
                GSE_LOG_WARN(
                    "tmdb", QStringLiteral("Could not convert constant value to double: ") + value);
                continue;
            }
            constants_[name] = d;
        } else if (type == QLatin1String("string")) {
            constants_[name] = value.toUtf8();
        } else {
            GSE_LOG_WARN("tmdb", QStringLiteral("Unknown constant type: ") + type);
        }
    }
    GSE_LOG_DEBUG("tmdb", QStringLiteral("Loaded %1 constants").arg(constants_.size()));
}

void TelemetryDatabase::indexKey(uint32_t dataId, const QByteArray& key) {
    keyToId_[key] = dataId;
    idToKeys_[dataId].push_back(key);
}

void TelemetryDatabase::addOrUpdateRow(uint32_t dataId, const TmDatabaseRow::Cells& cells,
                                       const QByteArray& definitionsDir) {
    TmDatabaseRow& row = rows_[dataId];
    row.update(cells, definitionsDir, clocks_);
    indexKey(dataId, row.key);
}

void TelemetryDatabase::addRow(const TmDatabaseRow& row) {
    rows_[row.data_id] = row;
    indexKey(row.data_id, row.key);
}

bool TelemetryDatabase::removeRow(uint32_t dataId) {
    const auto keys = idToKeys_.find(dataId);
    if (keys != idToKeys_.end()) {
        for (const QByteArray& key : keys->second) {
            const auto k = keyToId_.find(key);
            if (k != keyToId_.end() && k->second == dataId) {
                keyToId_.erase(k);
            }
        }
        idToKeys_.erase(keys);
    }
    return rows_.erase(dataId) > 0;
}

bool TelemetryDatabase::removeRow(const char* key) {
    return removeRow(static_cast<uint32_t>(getId(key)));
}

int TelemetryDatabase::getId(const char* key) const {
    const auto it = keyToId_.find(QByteArray(key));
    return it == keyToId_.end() ? 0 : static_cast<int>(it->second);
}

TmDatabaseRow& TelemetryDatabase::row(uint32_t dataId) {
    const auto it = rows_.find(dataId);
    if (it == rows_.end()) {
        throw std::out_of_range(std::to_string(dataId));
    }
    return it->second;
}

const TmDatabaseRow& TelemetryDatabase::row(uint32_t dataId) const {
    return const_cast<TelemetryDatabase*>(this)->row(dataId);
}

TmDatabaseRow& TelemetryDatabase::row(const char* key) {
    const auto it = keyToId_.find(QByteArray(key));
    const auto r = it == keyToId_.end() ? rows_.end() : rows_.find(it->second);
    if (r == rows_.end()) {
        throw std::out_of_range(key);
    }
    return r->second;
}

const TmDatabaseRow& TelemetryDatabase::row(const char* key) const {
    return const_cast<TelemetryDatabase*>(this)->row(key);
}

QList<uint32_t> TelemetryDatabase::allIds() const {
    QList<uint32_t> ids;
    ids.reserve(static_cast<qsizetype>(rows_.size()));
    for (const auto& [id, row] : rows_) {
        ids.append(id);
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

QStringList TelemetryDatabase::allKeys() const {
    QStringList keys;
    for (uint32_t id : allIds()) {
        keys.append(
            QString::asprintf("%s:%04d", rows_.at(id).key.constData(), static_cast<int>(id)));
    }
    return keys;
}

QList<uint32_t> TelemetryDatabase::usedDecoderTypes() const {
    std::set<uint32_t> types;
    for (const auto& [id, row] : rows_) {
        types.insert(row.decode_type);
    }
    return QList<uint32_t>(types.begin(), types.end());
}

QList<uint32_t> TelemetryDatabase::usedSciEqTypes() const {
    std::set<uint32_t> types;
    for (const auto& [id, row] : rows_) {
        types.insert(row.sci_eq_type);
    }
    return QList<uint32_t>(types.begin(), types.end());
}

std::ostream& operator<<(std::ostream& out, const TelemetryDatabase& db) {
    out << db.TMDB_HDR.join(QLatin1Char('\t')).toStdString();
    if (!db.revision().isEmpty()) {
        out << '\t' << QStringLiteral("$Revision: %1 $").arg(db.revision()).toStdString();
    }
    out << '\n';
    for (uint32_t id : db.allIds()) {
        out << db.row(id).toLine() << '\n';
    }
    return out;
}

}  // namespace GseLib
