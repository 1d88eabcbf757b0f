// Reads the generated sample archive with the library: the packets the Python generator wrote
// must walk cleanly (every TOM checksum correct), and each test's metadata and configuration
// group must bind as initialisation would.

#include <gselib/ccsdspacket.h>
#include <gselib/config814.h>
#include <gselib/tmmeta.h>
#include <gselib/tomchecksum.h>
#include <gselib/tompacket.h>

#include <gselib/datainterpretation.h>
#include <gselib/timeresolver.h>
#include <gselib/tmdatabase.h>
#include <gselib/tmpackettypes.h>
#include <tarnlib/tardatainterpretation.h>
#include <tools/util/pluginmanager.h>
#include <vireolib/vireodatainterpretation.h>

#include "dbtestutil.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
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

namespace {

// Whole seconds of the raw timestamp; enough to decode values (times are not checked here).
class RawSecondsResolver : public TimeResolver {
public:
    void reset() override {}
    double ticksToSeconds(long long t) const override { return t / 10000.0; }
    long long secondsToTicks(double s) const override { return static_cast<long long>(s * 1e4); }
    double unixTime(const TMPacket* p) const override { return p->rawTimestamp() / 1e4; }
    double unixTime(const TMPacket*, long long t) const override { return t / 1e4; }
    double relativeTime(const TMPacket* p) const override { return p->rawTimestamp() / 1e4; }
    double relativeTime(const TMPacket*, long long t) const override { return t / 1e4; }
    uint32_t correctedCount() const override { return 0; }
    bool isSynced() const override { return true; }
    bool handlePacket(const std::shared_ptr<TMPacket>&) override { return true; }
    std::shared_ptr<TMPacket> t0Packet() const override { return nullptr; }
};
const RawSecondsResolver kRawSeconds;

// Packets of a file split by their own headers: TOM (length at bytes 2-3) or CCSDS.
std::vector<TMPacketPtr> splitFile(const ByteVector& file, bool tom) {
    std::vector<TMPacketPtr> packets;
    size_t pos = 0;
    while (pos + 8 <= file.size()) {
        const size_t total = tom ? 12 + ((size_t(file[pos + 2]) << 8) | file[pos + 3])
                                 : 7 + ((size_t(file[pos + 4]) << 8) | file[pos + 5]);
        if (tom) {
            packets.push_back(std::make_shared<TomPacket>(&file[pos], int(total),
                                                          int(packets.size()), &kRawSeconds));
        } else {
            packets.push_back(std::make_shared<CcsdsPacket>(&file[pos], int(total),
                                                            int(packets.size()), &kRawSeconds));
        }
        pos += total;
    }
    return packets;
}

TMPacketPtr firstOfType(const std::vector<TMPacketPtr>& packets, int type) {
    for (const auto& p : packets) {
        if (p->type() == type)
            return p;
    }
    return nullptr;
}

uint32_t be16At(const TMPacketPtr& p, size_t at) {
    return (uint32_t((*p->bytes())[at]) << 8) | (*p->bytes())[at + 1];
}

}  // namespace

class SampleEngine : public SampleArchive {
protected:
    void bind(const QString& mission) {
        run_ = runOf(m_, mission);
        ini_ = std::make_unique<testutil::ScopedEnv>("INI814", m_.value("ini").toString().toUtf8());
        const TmMeta meta(QFileInfo(run_.value("tm_file").toString()).absolutePath());
        Config814::setDefaultGroup(meta.config814Group());
        manager_.loadPlugins(QList<QString>{});
        DataInterpretationFactory* factory =
            mission == "tarn" ? static_cast<DataInterpretationFactory*>(&tarn_) : &vireo_;
        DataInterpretation::init(factory, true, &manager_, meta.patchFiles());
        packets_ = splitFile(readAll(run_.value("tm_file").toString()), mission == "tarn");
    }
    void TearDown() override { DataInterpretation::reset(); }

    double value(const char* key, const TMPacketPtr& p, Gse::ValueMode mode) {
        bool ok = false;
        const double v = DataInterpretation::current()->getValue(key, p.get(), mode, &ok);
        EXPECT_TRUE(ok) << key;
        return v;
    }

    QJsonObject run_;
    std::unique_ptr<testutil::ScopedEnv> ini_;
    PluginManager manager_;
    TarGse::TarDataInterpretationFactory tarn_;
    VireoGse::VireoDataInterpretationFactory vireo_;
    std::vector<TMPacketPtr> packets_;
};

TEST_F(SampleEngine, TarnHousekeepingValuesMatchTheBytes) {
    bind("tarn");
    ASSERT_EQ(int(packets_.size()), run_.value("packets").toInt());
    const TMPacketPtr hk = firstOfType(packets_, 22);
    ASSERT_NE(hk, nullptr);
    const auto& b = *hk->bytes();

    // HV monitor: 16-bit ADC to volts (10 V span), then x310 (the flight-model patch).
    const double hvRaw = be16At(hk, 48);
    const double hvVolts = -5.0 + hvRaw * 10.0 / 65536.0;
    EXPECT_EQ(value("SEB:HV_MON", hk, Gse::ValueMode::Raw), hvRaw);
    EXPECT_NEAR(value("SEB:HV_MON", hk, Gse::ValueMode::Eng), hvVolts, 1e-12);
    EXPECT_NEAR(value("SEB:HV_MON", hk, Gse::ValueMode::Sci), 310.0 * hvVolts, 1e-9);

    // Filament flags share byte 45: bit 0 is A, bit 1 is B.
    EXPECT_EQ(value("SEB:FIL_A_ON", hk, Gse::ValueMode::Raw), b[45] & 1);
    EXPECT_EQ(value("SEB:FIL_B_ON", hk, Gse::ValueMode::Raw), (b[45] >> 1) & 1);

    // Platinum thermometer: the root of 100 + 0.39083 T - 5.775e-5 T^2 = raw nearest the line.
    const double r = be16At(hk, 52);
    const double a = -5.775e-5, c0 = 100.0 - r, bb = 0.39083;
    const double d = std::sqrt(bb * bb - 4 * a * c0);
    const double t1 = (-bb + d) / (2 * a), t2 = (-bb - d) / (2 * a);
    const double linear = (r - 100.0) / bb;
    const double expected = std::fabs(t1 - linear) < std::fabs(t2 - linear) ? t1 : t2;
    EXPECT_NEAR(value("SEB:T_PRT", hk, Gse::ValueMode::Sci), expected, 1e-9);

    // Offset current: signed 16-bit with 4 fractional bits.
    const double raw = be16At(hk, 54);
    EXPECT_NEAR(value("SEB:I_OFFSET", hk, Gse::ValueMode::Sci),
                raw / 16.0 - (raw >= 32768 ? 4096.0 : 0.0), 1e-12);

    // EMON A: eight samples, each converted to volts and then to microamps.
    DataItems items;
    ASSERT_TRUE(DataInterpretation::current()->getData(17, hk.get(), items, Gse::ValueMode::Sci,
                                                       true, nullptr));
    ASSERT_EQ(items.size(), 8u);
    for (size_t i = 0; i < 8; ++i) {
        const double volts = -5.0 + be16At(hk, 9 + 2 * i) * 10.0 / 65536.0;
        EXPECT_NEAR(std::get<double>(items[i].value), 20.0 * volts, 1e-9) << i;
        EXPECT_NEAR(items[i].relativeTime - hk->relativeTime(), 0.125 * i, 1e-12);
    }

    // The time packet's own time item, through the mission clock (epoch 2000-01-01T12:00Z).
    const TMPacketPtr time = firstOfType(packets_, 2);
    const double secs = (double(be16At(time, 9)) * 65536.0) + be16At(time, 11);
    EXPECT_NEAR(value("TIME:MET", time, Gse::ValueMode::Raw), 946728000.0 + secs, 1e-6);
    EXPECT_EQ(DataInterpretation::current()->packetTypes().info(2).timeItemId, 553);

    // Text of the first message.
    bool ok = false;
    EXPECT_EQ(
        DataInterpretation::current()->stringValue("MSG:TEXT", firstOfType(packets_, 8).get(), &ok),
        "SEB status nominal at 12 s");
    EXPECT_EQ(DataInterpretation::current()->dacTable()->size(), 16);
}

TEST_F(SampleEngine, VireoHousekeepingValuesMatchTheBytes) {
    bind("vireo");
    const TMPacketPtr hk = firstOfType(packets_, 704);
    ASSERT_NE(hk, nullptr);
    EXPECT_DOUBLE_EQ(value("HK:GAIN", hk, Gse::ValueMode::Sci), 1.5);  // 0x00018000 as 16.16
    const double counts = (*hk->bytes())[34] | ((*hk->bytes())[35] << 8);
    EXPECT_EQ(value("HK:COUNTS_LE", hk, Gse::ValueMode::Raw), counts);
    const double v28 = -5.0 + be16At(hk, 30) * 10.0 / 65536.0;
    EXPECT_NEAR(value("HK:V_28", hk, Gse::ValueMode::Sci), 3.0 * v28, 1e-9);
    EXPECT_EQ(DataInterpretation::current()->db()->row(11).discrete_labels.label(
                  static_cast<long long>(value("HK:MODE", hk, Gse::ValueMode::Raw))),
              "IDLE");
    bool ok = false;
    EXPECT_EQ(DataInterpretation::current()->stringValue("MARKER:TEXT",
                                                         firstOfType(packets_, 743).get(), &ok),
              "test step 0");
    EXPECT_EQ(DataInterpretation::current()->dacTable()->size(), 3);
}
