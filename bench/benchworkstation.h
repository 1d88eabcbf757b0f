#pragma once

// A throwaway workstation for the benchmarks that decode through the interpretation engine: one
// configuration group, "BENCH", whose database and packet types the benchmark writes.

#include <gselib/config814.h>
#include <gselib/datainterpretation.h>
#include <tools/util/pluginmanager.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

namespace bench {

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
}

/**
 * Writes the group's folders, database, packet types and INI file into dir, points INI814 at it
 * and builds the generic engine over it. The manager must outlive the engine.
 */
inline void installWorkstation(const QTemporaryDir& dir, const QByteArray& database,
                               const QByteArray& packetTypes, PluginManager& manager) {
    for (const char* d : {"gse", "defs", "viewers", "data"})
        QDir(dir.path()).mkpath(d);
    writeFile(dir.filePath("defs/BENCH_TM_Database.txt"), database);
    writeFile(dir.filePath("defs/tm_packet_types.txt"), packetTypes);
    writeFile(dir.filePath("station.INI"),
              QStringLiteral("[BENCH]\ngse=%1/gse\ntm_definitions=%1/defs\ntm_database=%1/defs/"
                             "BENCH_TM_Database.txt\nviewers_root=%1/viewers\ndata_root=%1/data\n")
                  .arg(dir.path())
                  .toUtf8());
    qputenv("INI814", dir.filePath("station.INI").toUtf8());
    GseLib::Config814::setDefaultGroup("BENCH");
    manager.loadPlugins(QList<QString>{});
    GseLib::DataInterpretation::init(nullptr, true, &manager, {});
}

}  // namespace bench
