// Reads the generated sample archive with the library: the packets the Python generator wrote
// must walk cleanly (every TOM checksum correct), and each test's metadata and configuration
// group must bind as initialisation would.

#include <gselib/ccsdspacket.h>
#include <gselib/config814.h>
#include <gselib/tmmeta.h>
#include <gselib/tomchecksum.h>
#include <gselib/tompacket.h>

#include <gselib/tmdatabase.h>
#include <gselib/tmpackettypes.h>

#include "dbtestutil.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <map>

using namespace GseLib;

namespace {

QJsonObject manifest() {
    const QString root = qEnvironmentVariable("K814_SAMPLE_ARCHIVE");
    QFile f(root + "/manifest.json");
    if (root.isEmpty() || !f.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QJsonDocument::fromJson(f.readAll()).object();
}

QJsonObject runOf(const QJsonObject& m, const QString& mission) {
    for (const QJsonValue& v : m.value("runs").toArray()) {
        if (v.toObject().value("mission").toString() == mission) {
            return v.toObject();
        }
    }
    return {};
}

ByteVector readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray b = f.readAll();
    return ByteVector(b.begin(), b.end());
}

}  // namespace

class SampleArchive : public testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariable("K814_SAMPLE_ARCHIVE").isEmpty()) {
            GTEST_SKIP() << "K814_SAMPLE_ARCHIVE is not set (ctest sets it)";
        }
        m_ = manifest();
        ASSERT_FALSE(m_.isEmpty()) << "no manifest.json in K814_SAMPLE_ARCHIVE";
    }
    QJsonObject m_;
};

TEST_F(SampleArchive, TomStreamWalksWithCorrectChecksums) {
    const QJsonObject run = runOf(m_, "tarn");
    const ByteVector file = readAll(run.value("tm_file").toString());
    ASSERT_EQ(qint64(file.size()), run.value("bytes").toInteger());

    std::map<int, int> byType;
    size_t pos = 0;
    int packets = 0;
    uint32_t lastTicks = 0;
    while (pos + 12 <= file.size()) {
        const size_t len = (size_t(file[pos + 2]) << 8) | file[pos + 3];
        ASSERT_LE(pos + 12 + len, file.size()) << "packet " << packets << " overruns the file";
        ASSERT_TRUE(correct_checksum(&file[pos], len + 8, false)) << "packet " << packets;
        ASSERT_TRUE(correct_checksum(&file[pos], len + 8, true)) << "packet " << packets;
        TomPacket p(&file[pos], int(len + 12), packets, nullptr);
        EXPECT_EQ(p.dataLength(), int(len));
        EXPECT_GE(p.rawTimestamp(), lastTicks) << "timestamps go backwards at " << packets;
        lastTicks = p.rawTimestamp();
        ++byType[p.fullType()];
        pos += len + 12;
        ++packets;
    }
    EXPECT_EQ(pos, file.size());
    EXPECT_EQ(packets, run.value("packets").toInt());
    const QJsonObject expected = run.value("packets_by_type").toObject();
    EXPECT_EQ(qsizetype(byType.size()), expected.size());
    for (const auto& [type, count] : byType) {
        EXPECT_EQ(count, expected.value(QString::number(type)).toInt()) << "type " << type;
    }
}

TEST_F(SampleArchive, CcsdsStreamWalksWithValidHeaders) {
    const QJsonObject run = runOf(m_, "vireo");
    const ByteVector file = readAll(run.value("tm_file").toString());
    size_t pos = 0;
    int packets = 0;
    std::map<int, int> byApid;
    std::map<int, int> nextSeq;
    const qint64 start = run.value("start_unix").toInteger();
    while (pos + 6 <= file.size()) {
        auto bytes = std::make_shared<ByteVector>(file.begin() + pos, file.begin() + pos + 6);
        CcsdsPrimaryHeader h(bytes);
        ASSERT_TRUE(h.isValidTelemetryHeader()) << "packet " << packets;
        const size_t total = 6 + size_t(h.dataLength());
        ASSERT_LE(pos + total, file.size());
        CcsdsPacket p(&file[pos], int(total), packets, nullptr);
        EXPECT_EQ(p.sequence(), nextSeq[p.apid()]) << "apid " << p.apid();
        nextSeq[p.apid()] = (p.sequence() + 1) & 0x3FFF;
        // Whole seconds since 2010-01-01 within the two minutes of the test.
        const qint64 unix = qint64(p.rawTimestamp()) + 1262304000;
        EXPECT_GE(unix, start);
        EXPECT_LT(unix, start + 120);
        ++byApid[p.apid()];
        pos += total;
        ++packets;
    }
    EXPECT_EQ(pos, file.size());
    EXPECT_EQ(packets, run.value("packets").toInt());
    const QJsonObject expected = run.value("packets_by_type").toObject();
    for (const auto& [apid, count] : byApid) {
        EXPECT_EQ(count, expected.value(QString::number(apid)).toInt()) << "apid " << apid;
    }
}

TEST_F(SampleArchive, EveryTestBindsToAVerifiedGroup) {
    testutil::ScopedEnv ini("INI814", m_.value("ini").toString().toUtf8());
    for (const QJsonValue& v : m_.value("runs").toArray()) {
        const QJsonObject run = v.toObject();
        const QFileInfo tm(run.value("tm_file").toString());
        const TmMeta meta(tm.absolutePath());
        ASSERT_TRUE(meta.isValid()) << tm.absoluteFilePath().toStdString();
        EXPECT_EQ(meta.tidDir(), run.value("tid_dir").toString());
        EXPECT_EQ(meta.tmfileName(), tm.fileName());
        EXPECT_EQ(meta.tid(), run.value("tid").toInt());
        EXPECT_EQ(meta.datetimeFromTidDir().toSecsSinceEpoch(),
                  run.value("start_unix").toInteger());
        const QString group = meta.config814Group();
        EXPECT_EQ(group, run.value("group").toString());
        Config814::setDefaultGroup(group);
        EXPECT_TRUE(Config814::verify(group)) << group.toStdString();
        EXPECT_EQ(Config814::getDataRootDir(group), tm.dir().absolutePath().section('/', 0, -2));
    }
}

TEST_F(SampleArchive, MissionDefinitionsLoadWithoutWarnings) {
    testutil::ScopedEnv ini("INI814", m_.value("ini").toString().toUtf8());
    for (const QJsonValue& v : m_.value("runs").toArray()) {
        const QJsonObject run = v.toObject();
        const TmMeta meta(QFileInfo(run.value("tm_file").toString()).absolutePath());
        const QString group = meta.config814Group();
        const QString defs = Config814::getTmDefinitionsDir(group) + "/";
        QStringList files = {Config814::getTmDatabasePath(group)};
        for (const QString& patch : meta.patchFiles()) {
            files.append(defs + patch);
        }
        testutil::Messages all("");
        testing::internal::CaptureStderr();
        TelemetryDatabase db;
        db.load(files, defs);
        PacketTypes catalogue;
        EXPECT_TRUE(catalogue.load(defs + "tm_packet_types.txt", &db));
        const std::string stderrText = testing::internal::GetCapturedStderr();
        EXPECT_EQ(stderrText, "") << group.toStdString();
        EXPECT_EQ(all.warnings, QStringList()) << group.toStdString();
        EXPECT_EQ(db.loadedFiles(), files);
        EXPECT_FALSE(db.revision().isEmpty());
        EXPECT_TRUE(db.hasClocks());
        for (const auto& [type, info] : catalogue.entries().asKeyValueRange()) {
            EXPECT_TRUE(info.valid) << type;
        }
        if (meta.isMission("tarn")) {
            // The flight-model patch recalibrated HV_MON and retired STATUS_236.
            EXPECT_EQ(db.row(21).sci_k[1], 310.0);
            EXPECT_FALSE(db.contains(236));
            // The JSON patch described the ground packet: header, subtype and two flag bits.
            EXPECT_EQ(db.row(131 * 32768 + 3).key, "GSE_TEST_START:FLAGS_REPLAY");
            EXPECT_EQ(db.row(131 * 32768 + 3).decode_id[2], 2u);
            EXPECT_EQ(db.packetTypeLines(), QStringList({"131, GSE_TEST_START, true, -1, -1"}));
            EXPECT_EQ(catalogue.info(2).timeItemId, 553);
            EXPECT_TRUE(catalogue.info(131).isGse);
            // EMON A: eight 16-bit samples an eighth of a second apart.
            EXPECT_EQ(db.row(17).pkt_offsets,
                      (std::vector<uint32_t>{9, 11, 13, 15, 17, 19, 21, 23}));
            EXPECT_DOUBLE_EQ(db.row(17).time_offsets.back(), 0.875);
            // The lookup table was found and reversed into ascending counts.
            EXPECT_EQ(db.row(22).sci_transfer_func->equationAsString(),
                      "Lookup table (tarn_rf_temp.csv)");
            EXPECT_NEAR(db.row(22).convertValue(2048, Gse::ValueMode::Sci), 25.0, 1e-9);
        } else {
            EXPECT_EQ(catalogue.info(704).timeItemId, 1);
            EXPECT_EQ(db.getId("MEB:MESSAGE_LOG"), 30);
            EXPECT_EQ(db.getId("MMC.HK:V_2P50_VREF"), 2);
            EXPECT_EQ(db.row(12).byte_order, (std::vector<uint32_t>{1, 2}));
        }
    }
}
