// Reads the generated sample archive with the library, as a script bound to it would: metadata
// and configuration, mission definitions, the reader (damage included) and decoded values are
// compared with what the generator wrote and intended. What scripts can see of the sample (values,
// times, message logs, VIREO markers, a growing file) is checked once, through the module
// (python/tests); this file keeps what lies below it.

#include <gselib/ccsdspacket.h>
#include <gselib/config814.h>
#include <gselib/tmmeta.h>
#include <gselib/tomchecksum.h>
#include <gselib/tompacket.h>

#include <gselib/datainterpretation.h>
#include <gselib/telemetryfile.h>
#include <gselib/timeresolver.h>
#include <gselib/tmdatabase.h>
#include <gselib/tmpackettypes.h>
#include <tarnlib/sebcmdinterpreter.h>
#include <tarnlib/sebsequence.h>
#include <tarnlib/tardatainterpretation.h>
#include <tarnlib/tartelemetrycache.h>
#include <tools/util/pluginmanager.h>
#include <vireolib/vireodatainterpretation.h>
#include <vireolib/vireotelemetrycache.h>

#include "dbtestutil.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

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

// The directory, start time and verified group of every run are checked through the info tool
// (test_cli.py).
TEST_F(SampleArchive, MetadataAndDataRootOfEveryTest) {
    testutil::ScopedEnv ini("INI814", m_.value("ini").toString().toUtf8());
    for (const QJsonValue& v : m_.value("runs").toArray()) {
        const QJsonObject run = v.toObject();
        const QFileInfo tm(run.value("tm_file").toString());
        const TmMeta meta(tm.absolutePath());
        ASSERT_TRUE(meta.isValid()) << tm.absoluteFilePath().toStdString();
        EXPECT_EQ(meta.tmfileName(), tm.fileName());
        EXPECT_EQ(meta.tid(), run.value("tid").toInt());
        const QString group = meta.config814Group();
        Config814::setDefaultGroup(group);
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
            EXPECT_FALSE(db.contains(236));  // retired by the flight-model patch
            // The JSON patch described the ground packet: subtype and two flag bits, counted
            // from the data field like every TARN row.
            EXPECT_EQ(db.row(131 * 32768 + 2).key, "GSE_TEST_START:FLAGS_REPLAY");
            EXPECT_EQ(db.row(131 * 32768 + 2).decode_id[2], 2u);
            EXPECT_EQ(db.row(131 * 32768 + 2).pkt_offsets, (std::vector<uint32_t>{1}));
            EXPECT_EQ(db.packetTypeLines(), QStringList({"131, GSE_TEST_START, true, -1, -1"}));
            EXPECT_EQ(catalogue.info(2).timeItemId, 553);
            EXPECT_TRUE(catalogue.info(131).isGse);
            // The lookup table was found and reversed into ascending counts.
            EXPECT_EQ(db.row(22).sci_transfer_func->equationAsString(),
                      "Lookup table (tarn_rf_temp.csv)");
            EXPECT_NEAR(db.row(22).convertValue(2048, Gse::ValueMode::Sci), 25.0, 1e-9);
        } else {
            EXPECT_EQ(catalogue.info(704).timeItemId, 1);
            EXPECT_EQ(db.getId("MEB:MESSAGE_LOG"), 30);
            EXPECT_EQ(db.getId("MMC.HK:V_2P50_VREF"), 2);
        }
    }
}

namespace {

TMPacketPtr firstOfType(const std::vector<TMPacketPtr>& packets, int type) {
    for (const auto& p : packets) {
        if (p->type() == type)
            return p;
    }
    return nullptr;
}

}  // namespace

class SampleEngine : public SampleArchive {
protected:
    void bind(const QString& mission) {
        run_ = runOf(m_, mission);
        ini_.reset();  // restores the previous value before the new one is set
        ini_ = std::make_unique<testutil::ScopedEnv>("INI814", m_.value("ini").toString().toUtf8());
        const TmMeta meta(QFileInfo(run_.value("tm_file").toString()).absolutePath());
        Config814::setDefaultGroup(meta.config814Group());
        manager_.loadPlugins(QList<QString>{});
        DataInterpretationFactory* factory =
            mission == "tarn" ? static_cast<DataInterpretationFactory*>(&tarn_) : &vireo_;
        DataInterpretation::init(factory, true, &manager_, meta.patchFiles());
        // Bind the reader as initialisation does; what it reports on standard error is kept.
        if (mission == "tarn") {
            DataInterpretation::current()->updatePktOffsets(
                TarGse::TarDataInterpretation::PKT_OFFSET_DELTA);
            TelemetryFile::setSharedCache(new TarGse::TarTelemetryCache);
        } else {
            TelemetryFile::setSharedCache(new VireoGse::VireoTelemetryCache);
        }
        testing::internal::CaptureStderr();
        TelemetryFile::setSharedCacheFile(run_.value("tm_file").toString().toStdString());
        readerErrors_ = testing::internal::GetCapturedStderr();
        packets_ = TelemetryFile::sharedCache()->packets();
    }
    void TearDown() override {
        TelemetryFile::setSharedCache(nullptr);
        DataInterpretation::reset();
    }

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
    std::string readerErrors_;
};

// Values of the housekeeping items are checked through the module (test_module.py); labels, text
// items and the DAC table are not published to scripts, so they are checked here.
TEST_F(SampleEngine, VireoLabelsTextAndDacTable) {
    bind("vireo");
    const TMPacketPtr hk = firstOfType(packets_, 704);
    ASSERT_NE(hk, nullptr);
    EXPECT_EQ(DataInterpretation::current()->db()->row(11).discrete_labels.label(
                  static_cast<long long>(value("HK:MODE", hk, Gse::ValueMode::Raw))),
              "IDLE");
    bool ok = false;
    EXPECT_EQ(DataInterpretation::current()->stringValue("MARKER:TEXT",
                                                         firstOfType(packets_, 743).get(), &ok),
              "step 1: warm-up");
    EXPECT_EQ(DataInterpretation::current()->dacTable()->size(), 3);
}

TEST_F(SampleEngine, TarnReaderRecoversEveryIntactPacket) {
    bind("tarn");
    ASSERT_EQ(int(packets_.size()), run_.value("packets").toInt()) << readerErrors_;
    // The count of each packet type is checked through the console's summary (test_module.py).
    for (const auto& p : packets_) {
        EXPECT_TRUE(correct_checksum(p->bytes()->data(), size_t(p->totalLength() - 4), false));
    }
    // The damage the generator put in: 7 garbage bytes, a 76-byte packet with a bad checksum,
    // and a last packet cut short.
    EXPECT_NE(readerErrors_.find("Skipped 7 bytes ["), std::string::npos) << readerErrors_;
    EXPECT_NE(readerErrors_.find("Skipped 76 bytes ["), std::string::npos) << readerErrors_;
    EXPECT_NE(readerErrors_.find("Read partial packet...backing up to index "), std::string::npos);
    EXPECT_DOUBLE_EQ(TarGse::TarTelemetryCache::ip_, 1000 / 1e7);  // bin period 1000 x 100 ns
}

// Packet types and times are checked through the module (test_module.py); the receipt times of
// the station records are not published to scripts.
TEST_F(SampleEngine, VireoReaderKeepsReceiptTimesAndSkipsPrefixes) {
    bind("vireo");
    ASSERT_EQ(int(packets_.size()), run_.value("packets").toInt()) << readerErrors_;
    EXPECT_EQ(readerErrors_, "");
    const QJsonArray expected = run_.value("expected").toArray();
    int wrapped = 0;
    for (size_t i = 0; i < packets_.size(); ++i) {
        const QJsonArray ground = expected[qsizetype(i)].toObject().value("ground").toArray();
        EXPECT_EQ(packets_[i]->groundSeconds(),
                  ground.isEmpty() ? 0u : uint32_t(ground[0].toInteger()))
            << i;
        EXPECT_EQ(packets_[i]->groundMilliseconds(), ground.isEmpty() ? 0.0 : ground[1].toDouble())
            << i;
        wrapped += !ground.isEmpty();
    }
    EXPECT_EQ(wrapped, (int(packets_.size()) + 2) / 3);
}

TEST_F(SampleEngine, TarnSebSequencesAreTheCommandsSent) {
    bind("tarn");
    TarGse::SebCmdInterpreter::createInterpreters();  // the group's viewerConfigs/seb_cmds.json
    EXPECT_EQ(TarGse::SebCmdInterpreter::interpreters().size(), 8);

    // Sequences as the generator sent them: [number, hex bytes] per command.
    auto commandsOf = [](const TarGse::SebSequence& s) {
        QJsonArray out;
        for (const auto& c : s.commands) {
            const QByteArray bytes(reinterpret_cast<const char*>(c->bytes()->data()),
                                   qsizetype(c->bytes()->size()));
            out.append(QJsonArray{c->number(), QString::fromLatin1(bytes.toHex())});
        }
        return out;
    };
    QJsonArray sent;
    for (const QJsonValue& e : run_.value("expected").toArray()) {
        if (e.toObject().contains("seb")) {
            sent.append(e.toObject().value("seb"));
        }
    }
    std::vector<TarGse::SebSequence> sequences;
    for (const TMPacketPtr& p : packets_) {
        if (p->type() != 23) {
            continue;
        }
        if (TarGse::SebSequence::isNewSequence(p)) {
            sequences.emplace_back(p);
        } else {
            ASSERT_FALSE(sequences.empty());
            sequences.back().addPartialSequence(p);
        }
    }
    ASSERT_EQ(qsizetype(sequences.size()), sent.size());
    for (size_t i = 0; i < sequences.size(); ++i) {
        EXPECT_EQ(commandsOf(sequences[i]), sent[qsizetype(i)].toArray()) << i;
        EXPECT_TRUE(sequences[i].partialBuffer->empty()) << i;
    }
    EXPECT_EQ(sequences[1].packetIndexes.size(), 2);  // the RAMP_IMM was cut between them
    EXPECT_DOUBLE_EQ(sequences[1].relativeTime,
                     packets_[size_t(sequences[1].packetIndexes[0])]->relativeTime());
    EXPECT_EQ(sequences[1].cmdStringList(), QStringList({"SET_DAC", "Unknown command 5", "RAMP_IMM",
                                                         "PAUSE_IMM", "SEND_SCAN_STATUS"}));

    // Field values through the sample's DAC table and database (independent arithmetic); the
    // bin time and EM_A fields are read through the console (test_module.py), a signed DAC value
    // by the interpreter's tests.
    const auto& setup = sequences[0].commands;
    EXPECT_EQ(setup[3]->fieldSciStr(1), "76.2939V");  // RF_AMP 1000 / 13.1072
    EXPECT_EQ(setup[3]->fieldSci(3), 500.0);          // steps
    EXPECT_EQ(setup[3]->fieldSci(4), 1.0);            // flags 0x21: bit 0
    EXPECT_EQ(setup[3]->fieldSci(5), 2.0);            //   and bits 4-7
    EXPECT_EQ(setup[4]->fieldSciStr(1), "2ch");       // COUNTER_SEL item and its units
    EXPECT_EQ(setup[5]->fieldSci(0), 250000.0);
    TarGse::SebCmdInterpreter::clearInterpreters();
}
