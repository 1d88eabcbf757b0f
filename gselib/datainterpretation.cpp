#include <gselib/datainterpretation.h>

#include <gselib/config814.h>
#include <gselib/currentvaluetable.h>
#include <gselib/decodermakerinterface.h>
#include <gselib/findfileinlowerdir.h>
#include <gselib/tmpacket.h>
#include <gselib/transferfuncfactory.h>
#include <tools/logger/eventmessage.h>
#include <tools/util/pluginmanager.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <array>
#include <stdexcept>

namespace GseLib {

namespace {

constexpr size_t kDecoderSlots = 500;

// Item buffers for the single-value requests, one per nesting level (a condition or a decoder
// may ask for another value while one is being decoded), so that a value request reuses memory
// instead of allocating a list each time.
class ScratchItems {
public:
    ScratchItems() : items_(depth_ < kLevels ? buffers()[depth_] : own_) {
        ++depth_;
        items_.clear();
    }
    ~ScratchItems() { --depth_; }
    DataItems& get() { return items_; }

private:
    static constexpr int kLevels = 8;
    static std::array<DataItems, kLevels>& buffers() {
        thread_local std::array<DataItems, kLevels> b;
        return b;
    }
    static thread_local int depth_;
    DataItems own_;
    DataItems& items_;
};
thread_local int ScratchItems::depth_ = 0;

std::unique_ptr<DataInterpretation>& singleton() {
    static std::unique_ptr<DataInterpretation> instance;
    return instance;
}

/// The base engine, used when no mission factory is given.
class DefaultDataInterpretation : public DataInterpretation {};

}  // namespace

DataInterpretationFactory::~DataInterpretationFactory() = default;

QString findFileCaseInsensitive(const QString& directory, const QString& name) {
    const QDir dir(directory);
    for (const QString& entry : dir.entryList(QDir::Files)) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0) {
            return dir.absoluteFilePath(entry);
        }
    }
    return QString();
}

DataInterpretation::DataInterpretation()
    : db_(std::make_shared<TelemetryDatabase>()),
      dacTable_(std::make_shared<DacTable>()),
      decoders_(kDecoderSlots) {}

DataInterpretation::~DataInterpretation() = default;

void DataInterpretation::init(DataInterpretationFactory* factory, bool loadDb, PluginManager* pm,
                              const QStringList& files) {
    if (factory) {
        singleton() = factory->create(pm, files);
    } else {
        GSE_LOG_DEBUG("decode", QStringLiteral("Using default data interpretation class"));
        singleton() = std::make_unique<DefaultDataInterpretation>();
    }
    singleton()->pluginManager_ = pm;
    if (loadDb) {
        singleton()->loadDatabase(files, true, QString());
    }
}

DataInterpretation* DataInterpretation::current() {
    if (!singleton()) {
        throw std::runtime_error("DataInterpretation singleton was not initialized!");
    }
    return singleton().get();
}

bool DataInterpretation::hasCurrent() {
    return singleton() != nullptr;
}

void DataInterpretation::reset() {
    singleton().reset();
}

TelemetryDatabase* DataInterpretation::db() const {
    return db_.get();
}

void DataInterpretation::populateCustomDecoders() {}

void DataInterpretation::populateDacTable(DacTable&, const QString&) {}

void DataInterpretation::readDacFile(DacTable& table, const QString& path, const char* category) {
    GSE_LOG_INFO(category, QStringLiteral("Populating DAC table from %1").arg(path));
    table.initialize(path);
    table.setPath(path);
    GSE_LOG_INFO(category,
                 QStringLiteral("Finished loading DAC table with %1 entries").arg(table.size()));
}

void DataInterpretation::loadDatabase(const QStringList& files, bool useDefaultDb,
                                      const QString& dacFile) {
    const QString group = Config814::getDefaultGroup();
    const bool isJson = !files.isEmpty() && files.first().endsWith(QLatin1String(".json"));
    const QString definitionsDir = Config814::getTmDefinitionsDir(group) + QLatin1Char('/');

    QStringList loadList;
    if (useDefaultDb) {
        loadList.append(Config814::getTmDatabasePath(group));
    }
    for (const QString& file : files) {
        if (QFileInfo(file).isAbsolute()) {
            loadList.append(file);
            continue;
        }
        QString found = findFileCaseInsensitive(definitionsDir, file);
        if (found.isEmpty()) {
            found = findFileCaseInsensitive(definitionsDir, file + QStringLiteral(".txt"));
        }
        if (found.isEmpty()) {
            GSE_LOG_WARN("tmdb", QStringLiteral("Patch file doesn't exist:") +
                                     QFileInfo(file).absoluteFilePath());
            continue;
        }
        loadList.append(found);
    }

    // Plug-ins live beside the database they belong to.
    const QString firstDir =
        loadList.isEmpty() ? definitionsDir : QFileInfo(loadList.first()).absolutePath();
    if (pluginManager_ && !pluginDir_.isEmpty()) {
        pluginManager_->unloadPlugins(pluginDir_);
    }
    pluginDir_ = firstDir + QStringLiteral("/plugins/macos");
    if (pluginManager_) {
        pluginManager_->loadPlugins(pluginDir_);
    }
    TransferFuncFactory::instance().loadTransferFuncPlugins(pluginManager_);
    loadDecoderPlugins(pluginManager_);

    db_->load(loadList, definitionsDir);

    dacTable_->clear();
    populateDacTable(*dacTable_, dacFile.isEmpty() ? Config814::getDacFilePath(group) : dacFile);

    QString typesPath = firstDir + QStringLiteral("/tm_packet_types.txt");
    if (!QFileInfo::exists(typesPath)) {
        typesPath = Config814::getTmDefinitionsDir(group) + QStringLiteral("/tm_packet_types.txt");
    }
    GSE_LOG_DEBUG("tmdb", QStringLiteral("Loading packet properties: ") + typesPath);
    packetTypes_ = PacketTypes();
    if (isJson) {
        packetTypes_.load(db_->packetTypeLines(), db_.get());
    } else {
        packetTypes_.load(typesPath, db_.get());
    }

    for (uint32_t type : db_->usedDecoderTypes()) {
        if (type >= decoders_.size() || !decoders_[type]) {
            GSE_LOG_WARN("tmdb", QStringLiteral("Unsupported decoder type: %1").arg(type));
        }
    }
}

void DataInterpretation::loadDatabaseByExtensions(const QByteArray& name) {
    const QList<QByteArray> parts = name.split('.');
    QStringList patches;
    QList<QByteArray> nonEmpty;
    for (const QByteArray& p : parts) {
        if (!p.isEmpty()) {
            nonEmpty.append(p);
        }
    }
    for (qsizetype i = 2; i < nonEmpty.size(); ++i) {
        patches.append(QString::fromLatin1(nonEmpty[i]).toUpper());
    }
    loadDatabase(patches, true, QString());
}

QString DataInterpretation::findDatabaseByTime(const QDateTime& when, const QString& dir,
                                               const QString& prefix, const QString& suffix) const {
    const QString directory = dir.isEmpty()
                                  ? Config814::getTmDefinitionsDir(Config814::getDefaultGroup()) +
                                        QStringLiteral("/versions/")
                                  : dir;
    const QString candidate = Tools::findFileInLowerDir(directory, when, prefix, suffix);
    const QFileInfo info(candidate);
    if (!candidate.isEmpty() && info.exists() && info.isReadable()) {
        return candidate;
    }
    GSE_LOG_WARN("tmdb", QStringLiteral("Could not find db by time: %1 in %2")
                             .arg(when.toString(Qt::ISODate), directory));
    return QString();
}

bool DataInterpretation::loadDatabaseByTime(const QDateTime& when, const QString& dir,
                                            const QString& prefix, const QString& suffix) {
    const QString found = findDatabaseByTime(when, dir, prefix, suffix);
    if (found.isEmpty()) {
        return false;
    }
    loadDatabase({found}, false, QString());
    return true;
}

void DataInterpretation::loadDecoderPlugins(PluginManager* pm) {
    decoders_.assign(kDecoderSlots, nullptr);
    populateCustomDecoders();
    if (!pm) {
        return;
    }
    for (QObject* plugin : pm->loadedPluginsAsQObject<DecoderMakerInterface>()) {
        auto* maker = qobject_cast<DecoderMakerInterface*>(plugin);
        if (!maker) {
            continue;
        }
        GSE_LOG_DEBUG("decode",
                      QStringLiteral("Loading decoders from plugin: ") +
                          plugin->property(PluginManager::PROPERTY_PLUGIN_FILENAME).toString() +
                          QStringLiteral(" VERSION=") +
                          plugin->property(PluginManager::PROPERTY_PLUGIN_VERSION).toString() +
                          QStringLiteral(" QT_VERSION=") +
                          plugin->property(PluginManager::PROPERTY_PLUGIN_QT_VERSION).toString());
        const std::vector<Decoder*> made = maker->makeDecoders();
        for (Decoder* d : made) {
            addDecoder(d);
        }
        GSE_LOG_DEBUG("decode", QStringLiteral("Decoders loaded: %1").arg(made.size()));
    }
}

void DataInterpretation::addDecoder(Decoder* decoder) {
    std::shared_ptr<Decoder> owned(decoder);
    const int t = owned->type();
    if (t < 0) {
        GSE_LOG_WARN("decode", QStringLiteral("Decoder with negative type %1 ignored").arg(t));
        return;
    }
    if (static_cast<size_t>(t) >= decoders_.size()) {
        decoders_.resize(static_cast<size_t>(t) + 1);
    }
    if (decoders_[static_cast<size_t>(t)]) {
        GSE_LOG_WARN("decode", QStringLiteral("Replaced decoder type %1").arg(t));
    }
    owned->setEngine(this);
    decoders_[static_cast<size_t>(t)] = std::move(owned);
}

const Decoder* DataInterpretation::decoder(int type) const {
    return type >= 0 && static_cast<size_t>(type) < decoders_.size()
               ? decoders_[static_cast<size_t>(type)].get()
               : nullptr;
}

QByteArray DataInterpretation::decoderName(int type) const {
    const Decoder* d = decoder(type);
    return d ? d->name().toLatin1() : QByteArray();
}

bool DataInterpretation::decodePacket(const TmDatabaseRow& row, const TMPacket* packet,
                                      DataItems& items, bool applyConditions,
                                      const CurrentValueTable* cvt) const {
    if (!packet) {
        return false;
    }
    try {
        if (static_cast<uint32_t>(packet->type()) != row.packet_type) {
            return false;
        }
        if (row.packet_subtype != 0 &&
            static_cast<uint32_t>(packet->subType()) != row.packet_subtype) {
            return false;
        }
        const Decoder* d = decoder(static_cast<int>(row.decode_type));
        if (!d) {
            GSE_LOG_WARN("decode", QStringLiteral("Invalid decode type %1 ID: %2")
                                       .arg(row.decode_type)
                                       .arg(row.data_id));
            return false;
        }
        if (applyConditions && !row.apply_when.passes(this, packet)) {
            return false;
        }
        d->decode(row, packet, items, cvt);
        return !items.empty();
    } catch (const std::out_of_range& e) {
        GSE_LOG_WARN("decode", QString::fromLatin1(e.what()) + QStringLiteral(" not found"));
        return false;
    }
}

bool DataInterpretation::decodePacket(int id, const TMPacket* packet, DataItems& items,
                                      bool applyConditions, const CurrentValueTable* cvt) const {
    try {
        const TmDatabaseRow& row = db_->row(static_cast<uint32_t>(id));
        return decodePacket(row, packet, items, applyConditions, cvt);
    } catch (const std::out_of_range& e) {
        GSE_LOG_WARN("decode", QString::fromLatin1(e.what()) + QStringLiteral(" not found"));
        return false;
    }
}

bool DataInterpretation::decodePacket(const char* key, const TMPacket* packet, DataItems& items,
                                      bool applyConditions, const CurrentValueTable* cvt) const {
    try {
        const TmDatabaseRow& row = db_->row(key);
        return decodePacket(row, packet, items, applyConditions, cvt);
    } catch (const std::out_of_range& e) {
        GSE_LOG_WARN("decode", QString::fromLatin1(e.what()) + QStringLiteral(" not found"));
        return false;
    }
}

bool DataInterpretation::resolveKey(const char* key, uint32_t& id) const {
    const int found = db_->getId(key);
    if (found < 1) {
        GSE_LOG_WARN("decode", QStringLiteral("Unknown mnemonic: ") + QString::fromLatin1(key));
        return false;
    }
    id = static_cast<uint32_t>(found);
    return true;
}

bool DataInterpretation::getData(int id, const TMPacket* packet, DataItems& items,
                                 Gse::ValueMode mode, bool applyConditions,
                                 const CurrentValueTable* cvt) const {
    try {
        const size_t before = items.size();
        const bool ok = decodePacket(id, packet, items, applyConditions, cvt);
        if (ok) {
            const TmDatabaseRow& row = db_->row(static_cast<uint32_t>(id));
            for (size_t i = before; i < items.size(); ++i) {
                items[i].value = row.convertValue(items[i].toDouble(), mode);
            }
        }
        return ok;
    } catch (const std::exception& e) {
        GSE_LOG_WARN("decode",
                     QStringLiteral("Got exception in getData: ") + QString::fromLatin1(e.what()));
        return false;
    }
}

double DataInterpretation::getValue(int id, const TMPacket* packet, Gse::ValueMode mode, bool* ok,
                                    bool applyConditions, const CurrentValueTable* cvt) const {
    bool dummy = false;
    bool& result = ok ? *ok : dummy;
    result = false;
    try {
        ScratchItems scratch;
        DataItems& items = scratch.get();
        if (!decodePacket(id, packet, items, applyConditions, cvt)) {
            return 0.0;
        }
        const double v =
            db_->row(static_cast<uint32_t>(id)).convertValue(items.front().toDouble(), mode);
        result = true;
        return v;
    } catch (const std::exception& e) {
        GSE_LOG_WARN("decode",
                     QStringLiteral("Got exception in getValue: ") + QString::fromLatin1(e.what()));
        return 0.0;
    }
}

double DataInterpretation::getValue(const char* key, const TMPacket* packet, Gse::ValueMode mode,
                                    bool* ok, bool applyConditions,
                                    const CurrentValueTable* cvt) const {
    uint32_t id = 0;
    if (!resolveKey(key, id)) {
        if (ok)
            *ok = false;
        return 0.0;
    }
    return getValue(static_cast<int>(id), packet, mode, ok, applyConditions, cvt);
}

QByteArray DataInterpretation::stringValue(int id, const TMPacket* packet, bool* ok,
                                           bool applyConditions,
                                           const CurrentValueTable* cvt) const {
    bool dummy = false;
    bool& result = ok ? *ok : dummy;
    result = false;
    try {
        ScratchItems scratch;
        DataItems& items = scratch.get();
        if (!decodePacket(id, packet, items, applyConditions, cvt)) {
            return QByteArray();
        }
        result = true;
        return items.front().toString().toLatin1();
    } catch (const std::exception& e) {
        GSE_LOG_WARN("decode", QStringLiteral("Got exception in stringValue: ") +
                                   QString::fromLatin1(e.what()));
        return QByteArray();
    }
}

QByteArray DataInterpretation::stringValue(const char* key, const TMPacket* packet, bool* ok,
                                           bool applyConditions,
                                           const CurrentValueTable* cvt) const {
    uint32_t id = 0;
    if (!resolveKey(key, id)) {
        if (ok)
            *ok = false;
        return QByteArray();
    }
    return stringValue(static_cast<int>(id), packet, ok, applyConditions, cvt);
}

double DataInterpretation::convertValue(int id, double raw, Gse::ValueMode mode, bool* ok) const {
    bool dummy = false;
    bool& result = ok ? *ok : dummy;
    result = false;
    try {
        const double v = db_->row(static_cast<uint32_t>(id)).convertValue(raw, mode);
        result = true;
        return v;
    } catch (const std::exception& e) {
        GSE_LOG_WARN("decode", QStringLiteral("Got exception in convertValue: ") +
                                   QString::fromLatin1(e.what()));
        return 0.0;
    }
}

double DataInterpretation::convertValue(const char* key, double raw, Gse::ValueMode mode,
                                        bool* ok) const {
    uint32_t id = 0;
    if (!resolveKey(key, id)) {
        if (ok)
            *ok = false;
        return 0.0;
    }
    return convertValue(static_cast<int>(id), raw, mode, ok);
}

void DataInterpretation::updatePktOffsets(int delta) {
    for (uint32_t id : db_->allIds()) {
        TmDatabaseRow& row = db_->row(id);
        if (row.decode_type == 2) {
            row.decode_id[0] =
                static_cast<unsigned long long>(static_cast<long long>(row.decode_id[0]) + delta);
        }
        for (uint32_t& o : row.pkt_offsets) {
            o = static_cast<uint32_t>(static_cast<long long>(o) + delta);
        }
    }
}

}  // namespace GseLib
