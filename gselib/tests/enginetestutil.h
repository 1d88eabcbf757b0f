#pragma once

#include <gselib/ccsdspacket.h>
#include <gselib/config814.h>
#include <gselib/datainterpretation.h>
#include <gselib/timeresolver.h>
#include <gselib/tompacket.h>
#include <tools/util/pluginmanager.h>

#include "dbtestutil.h"
#include "readertestutil.h"

#include <gtest/gtest.h>

namespace testutil {

/// Unix time 1e9 + raw timestamp seconds; relative time = raw timestamp.
class SecondsResolver : public GseLib::TimeResolver {
public:
    void reset() override {}
    double ticksToSeconds(long long t) const override { return static_cast<double>(t); }
    long long secondsToTicks(double s) const override { return static_cast<long long>(s); }
    double unixTime(const GseLib::TMPacket* p) const override { return 1e9 + p->rawTimestamp(); }
    double unixTime(const GseLib::TMPacket*, long long t) const override { return 1e9 + t; }
    double relativeTime(const GseLib::TMPacket* p) const override { return p->rawTimestamp(); }
    double relativeTime(const GseLib::TMPacket*, long long t) const override {
        return static_cast<double>(t);
    }
    uint32_t correctedCount() const override { return 0; }
    bool isSynced() const override { return true; }
    bool handlePacket(const std::shared_ptr<GseLib::TMPacket>&) override { return true; }
    std::shared_ptr<GseLib::TMPacket> t0Packet() const override { return nullptr; }
};

inline const SecondsResolver* secondsResolver() {
    static SecondsResolver resolver;
    return &resolver;
}

/// A CCSDS packet of apid: primary header, secondary header with seconds, then data (which so
/// starts at packet byte 12).
inline std::shared_ptr<GseLib::CcsdsPacket> ccsds(int apid, std::vector<uint8_t> data,
                                                  uint32_t seconds = 100) {
    const Bytes bytes = ccsdsPacket(apid, 0, seconds, data);
    return std::make_shared<GseLib::CcsdsPacket>(bytes.data(), int(bytes.size()), 0,
                                                 secondsResolver());
}

/// A TOM packet of type with data (byte 0 is the subtype); raw timestamp seconds.
inline std::shared_ptr<GseLib::TomPacket> tom(int type, std::vector<uint8_t> data,
                                              uint32_t seconds = 100) {
    std::vector<uint8_t> bytes = {uint8_t(type),
                                  0,
                                  uint8_t(data.size() >> 8),
                                  uint8_t(data.size()),
                                  uint8_t(seconds >> 24),
                                  uint8_t(seconds >> 16),
                                  uint8_t(seconds >> 8),
                                  uint8_t(seconds)};
    bytes.insert(bytes.end(), data.begin(), data.end());
    bytes.insert(bytes.end(), {0, 0, 0, 0});
    return std::make_shared<GseLib::TomPacket>(bytes.data(), int(bytes.size()), 0,
                                               secondsResolver());
}

/**
 * A workstation with group "TEST" whose database is built from rows, and the process engine
 * loaded from it through the default configuration group, with the built-in makers.
 */
class Engine {
public:
    explicit Engine(const DbFile& db, const QString& packetTypes = QString(),
                    const QByteArray& clocks = QByteArray()) {
        const QString defs = dir.filePath("TMDef");
        QDir().mkpath(defs);
        for (const char* d : {"gse", "viewers", "data"}) {
            QDir().mkpath(dir.filePath(d));
        }
        db.write(dir, "TMDef/TEST_TM_Database.txt");
        if (!packetTypes.isEmpty()) {
            writeFile(defs + "/tm_packet_types.txt", packetTypes.toUtf8());
        }
        if (!clocks.isEmpty()) {
            writeFile(defs + "/clocks.txt", clocks);
        }
        writeFile(ini, QStringLiteral("[TEST]\ngse=%1\ntm_definitions=%2\ntm_database=%3\n"
                                      "viewers_root=%4\ndata_root=%5\n")
                           .arg(dir.filePath("gse"), defs, defs + "/TEST_TM_Database.txt",
                                dir.filePath("viewers"), dir.filePath("data"))
                           .toUtf8());
        qputenv("INI814", ini.toUtf8());
        GseLib::Config814::setDefaultGroup("TEST");
        testing::internal::CaptureStderr();
        GseLib::DataInterpretation::init(nullptr, true, &manager, {});
        testing::internal::GetCapturedStderr();
    }
    ~Engine() {
        GseLib::DataInterpretation::reset();
        qunsetenv("INI814");
    }
    GseLib::DataInterpretation& di() { return *GseLib::DataInterpretation::current(); }
    QString defs() const { return dir.filePath("TMDef"); }

    QTemporaryDir dir;
    QString ini = dir.filePath("station.INI");
    PluginManager manager;
};

}  // namespace testutil
