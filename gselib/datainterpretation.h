#pragma once

#include <gselib/dactable.h>
#include <gselib/dataitem.h>
#include <gselib/decoder.h>
#include <gselib/gse.h>
#include <gselib/tmdatabase.h>
#include <gselib/tmpackettypes.h>

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class PluginManager;

namespace GseLib {

class CurrentValueTable;
class DataInterpretation;
class TMPacket;

/**
 * @brief Makes a mission's interpretation engine.
 */
class DataInterpretationFactory {
public:
    virtual ~DataInterpretationFactory();
    virtual std::unique_ptr<DataInterpretation> create(PluginManager* pm,
                                                       const QList<QString>& files) = 0;
};

/**
 * @brief The process-wide engine that turns packet bytes into measurement values.
 *
 * Owns the telemetry database, the DAC table, the packet-type catalogue and a 500-slot table of
 * decoders indexed by DECODE_TYPE. Value requests never throw: failures come back through ok
 * flags, 0.0, empty results and warnings. Mission engines derive to add custom decoders and
 * their DAC table reader.
 */
class DataInterpretation {
public:
    DataInterpretation();
    virtual ~DataInterpretation();
    DataInterpretation(const DataInterpretation&) = delete;
    DataInterpretation& operator=(const DataInterpretation&) = delete;

    /**
     * Makes the singleton (with factory, else the default engine) and, when loadDb, loads the
     * default database patched by files.
     * @throw std::runtime_error for structural errors of the database files
     */
    static void init(DataInterpretationFactory* factory, bool loadDb, PluginManager* pm,
                     const QStringList& files);
    /// @throw std::runtime_error "DataInterpretation singleton was not initialized!"
    static DataInterpretation* current();
    static bool hasCurrent();
    /// Destroys the singleton.
    static void reset();

    virtual TelemetryDatabase* db() const;
    /**
     * Loads the group's database (when useDefaultDb) and files, the plug-ins beside it, the DAC
     * table and the packet-type catalogue.
     * @throw std::runtime_error for an invalid configuration group or a structural database error
     */
    virtual void loadDatabase(const QStringList& files, bool useDefaultDb, const QString& dacFile);
    /// Loads the default database patched by the name's parts after the second ("RUN.TM.FIX1").
    virtual void loadDatabaseByExtensions(const QByteArray& name);
    virtual void populateCustomDecoders();
    virtual void populateDacTable(DacTable& table, const QString& path);

    QString findDatabaseByTime(const QDateTime& when, const QString& dir, const QString& prefix,
                               const QString& suffix) const;
    bool loadDatabaseByTime(const QDateTime& when, const QString& dir, const QString& prefix,
                            const QString& suffix);

    void setPluginManager(PluginManager* pm) { pluginManager_ = pm; }
    PluginManager* pluginManager() const { return pluginManager_; }
    QString pluginDir() const { return pluginDir_; }

    /// Replaces the decoders: custom ones first, then those of the plug-in makers.
    void loadDecoderPlugins(PluginManager* pm);
    /// Stores decoder under its type (taking ownership), replacing one already there.
    void addDecoder(Decoder* decoder);
    QByteArray decoderName(int type) const;
    void populateDecoders() { populateCustomDecoders(); }
    const Decoder* decoder(int type) const;

    bool decodePacket(const TmDatabaseRow& row, const TMPacket* packet, DataItems& items,
                      bool applyConditions, const CurrentValueTable* cvt) const;
    bool decodePacket(int id, const TMPacket* packet, DataItems& items, bool applyConditions,
                      const CurrentValueTable* cvt) const;
    bool decodePacket(const char* key, const TMPacket* packet, DataItems& items,
                      bool applyConditions, const CurrentValueTable* cvt) const;
    /// Decodes and replaces each new item's value by its converted double.
    bool getData(int id, const TMPacket* packet, DataItems& items, Gse::ValueMode mode,
                 bool applyConditions, const CurrentValueTable* cvt) const;
    double getValue(int id, const TMPacket* packet, Gse::ValueMode mode, bool* ok,
                    bool applyConditions = true, const CurrentValueTable* cvt = nullptr) const;
    double getValue(const char* key, const TMPacket* packet, Gse::ValueMode mode, bool* ok,
                    bool applyConditions = true, const CurrentValueTable* cvt = nullptr) const;
    QByteArray stringValue(int id, const TMPacket* packet, bool* ok, bool applyConditions = true,
                           const CurrentValueTable* cvt = nullptr) const;
    QByteArray stringValue(const char* key, const TMPacket* packet, bool* ok,
                           bool applyConditions = true,
                           const CurrentValueTable* cvt = nullptr) const;
    double convertValue(int id, double raw, Gse::ValueMode mode, bool* ok) const;
    double convertValue(const char* key, double raw, Gse::ValueMode mode, bool* ok) const;

    /// Shifts every row's offsets, for packets whose header differs from the database's.
    void updatePktOffsets(int delta);

    const PacketTypes& packetTypes() const { return packetTypes_; }
    std::shared_ptr<DacTable> dacTable() const { return dacTable_; }

    /// Reads a DAC conversion file into table and records its path, with the loading messages.
    static void readDacFile(DacTable& table, const QString& path, const char* category);

private:
    bool resolveKey(const char* key, uint32_t& id) const;

    std::shared_ptr<TelemetryDatabase> db_;
    std::shared_ptr<DacTable> dacTable_;
    PacketTypes packetTypes_;
    std::vector<std::shared_ptr<Decoder>> decoders_;
    PluginManager* pluginManager_ = nullptr;
    QString pluginDir_;
};

/// Looks name up among the regular files of directory ignoring case; empty when absent.
QString findFileCaseInsensitive(const QString& directory, const QString& name);

}  // namespace GseLib
