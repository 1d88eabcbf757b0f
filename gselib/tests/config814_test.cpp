#include <gselib/config814.h>

#include "testutil.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

using namespace GseLib;
using testutil::ScopedEnv;
using testutil::writeFile;

namespace {

// A workstation with a TARN_FM group whose eleven paths all exist, and a VIREO group.
struct Workstation {
    Workstation() {
        for (const char* d : {"gse", "defs", "viewers", "data", "seq", "mcal"}) {
            QDir(root.path()).mkpath(d);
        }
        for (const char* f : {"defs/TAR_TM_Database.txt", "defs/dac.txt", "defs/heater.txt",
                              "defs/sclk.txt", "seq/config-default.ops"}) {
            writeFile(root.filePath(f), "x");
        }
    }
    QString path(const char* p) const { return root.filePath(p); }
    QString tarnGroup(const QString& name) const {
        return QStringLiteral("[%1]\n").arg(name) + "gse=" + path("gse") + "\n" +
               "tm_definitions=" + path("defs") + "\n" +
               "tm_database=" + path("defs/TAR_TM_Database.txt") + "\n" +
               "viewers_root=" + path("viewers") + "\n" + "data_root=" + path("data") + "\n" +
               "sequence_root=" + path("seq") + "\n" +
               "seq_config=" + path("seq/config-default.ops") + "\n" +
               "dac_file=" + path("defs/dac.txt") + "\n" +
               "heater_table=" + path("defs/heater.txt") + "\n" +
               "sclk_table=" + path("defs/sclk.txt") + "\n" + "mcal_root=" + path("mcal") + "\n";
    }
    void writeIni(const QString& text) { writeFile(ini, text.toUtf8()); }

    QTemporaryDir root;
    QString ini = root.filePath("station.INI");
};

}  // namespace

TEST(Config814, ConfigPathFromEnvironmentOrHome) {
    QTemporaryDir home;
    ScopedEnv h("HOME", home.path().toUtf8());
    {
        ScopedEnv e("INI814", QByteArray("/somewhere/else.INI"));
        EXPECT_EQ(Config814::getConfigPath(), "/somewhere/else.INI");
    }
    {
        ScopedEnv e("INI814", QByteArray(""));
        EXPECT_EQ(Config814::getConfigPath(), home.path() + "/.814config.INI");
    }
    {
        ScopedEnv e("INI814", std::nullopt);
        EXPECT_EQ(Config814::getConfigPath(), home.path() + "/.814config.INI");
    }
}

TEST(Config814, RequiredKeysFollowTheMissionWordOfTheGroup) {
    struct Case {
        const char* group;
        const QStringList* keys;
    };
    const Case cases[] = {
        {"TARN_FM", &Config814::REQ_KEYS_TAR},       {"tev_testbed", &Config814::REQ_KEYS_TEV},
        {"BORIL_TESTBED", &Config814::REQ_KEYS_BOR}, {"Kirun", &Config814::REQ_KEYS_KIR},
        {"VIREO", &Config814::REQ_KEYS_VIREO},       {"lumo_em", &Config814::REQ_KEYS_LUM},
        {"AZU", &Config814::REQ_KEYS_AZU},           {"PRYN", &Config814::REQ_KEYS_PRYN},
        {"SOMETHING", &Config814::REQ_KEYS_DEFAULT},
    };
    for (const Case& c : cases) {
        Config814::setDefaultGroup(c.group);
        EXPECT_EQ(Config814::getDefaultGroup(), c.group);
        EXPECT_EQ(Config814::requiredKeys(), *c.keys) << c.group;
    }
    EXPECT_EQ(Config814::REQ_KEYS_TAR.size(), 11);
    EXPECT_EQ(Config814::REQ_KEYS_VIREO,
              QStringList({"gse", "tm_definitions", "tm_database", "viewers_root", "data_root",
                           "dac_file", "mcal_root"}));
    // An empty group keeps the previous list.
    Config814::setDefaultGroup("VIREO");
    Config814::setDefaultGroup("");
    EXPECT_EQ(Config814::requiredKeys(), Config814::REQ_KEYS_VIREO);
}

TEST(Config814, VerifyChecksEveryRequiredPathAndKey) {
    Workstation ws;
    ScopedEnv e("INI814", ws.ini.toUtf8());
    ws.writeIni(ws.tarnGroup("TARN_FM"));
    Config814::setDefaultGroup("TARN_FM");
    EXPECT_TRUE(Config814::verify("TARN_FM"));
    // An absent group is not an error for verify, only a false.
    EXPECT_FALSE(Config814::verify("VIREO"));
    EXPECT_THROW(Config814::verify(""), std::runtime_error);

    ws.writeIni(ws.tarnGroup("TARN_FM").remove(QRegularExpression("heater_table=[^\n]*\n")));
    EXPECT_FALSE(Config814::verify("TARN_FM"));
    EXPECT_EQ(Config814::getHeaterTablePath("TARN_FM"), "");
    // With the VIREO list the heater table is not needed, but the calibration directory is.
    Config814::setDefaultGroup("VIREO");
    EXPECT_TRUE(Config814::verify("TARN_FM"));
    QDir(ws.path("mcal")).removeRecursively();
    EXPECT_FALSE(Config814::verify("TARN_FM"));
}

TEST(Config814, GettersReadTheGroup) {
    Workstation ws;
    ScopedEnv e("INI814", ws.ini.toUtf8());
    ws.writeIni("[814]\ndefault_group=tarn_fm\n" + ws.tarnGroup("TARN_FM"));
    EXPECT_EQ(Config814::getGsePath("TARN_FM"), ws.path("gse"));
    EXPECT_EQ(Config814::getTmDatabasePath("TARN_FM"), ws.path("defs/TAR_TM_Database.txt"));
    EXPECT_EQ(Config814::getSeqConfigPath("TARN_FM"), ws.path("seq/config-default.ops"));
    EXPECT_EQ(Config814::getMcalDir("TARN_FM"), ws.path("mcal"));
    EXPECT_EQ(Config814::getValue("sclk_table", "TARN_FM"), ws.path("defs/sclk.txt"));
    EXPECT_EQ(Config814::getGseConfigsDir("plots", "TARN_FM"), ws.path("gse") + "/configs/plots/");
    EXPECT_EQ(Config814::getDefaultGroupFromIni(), "TARN_FM");

    // Edits take effect without a restart.
    ws.writeIni("[814]\ndefault_group=vireo\n" + ws.tarnGroup("TARN_FM"));
    EXPECT_EQ(Config814::getDefaultGroupFromIni(), "VIREO");
}

TEST(Config814, UnknownGroupIsReportedAndRaised) {
    Workstation ws;
    ScopedEnv e("INI814", ws.ini.toUtf8());
    ws.writeIni(ws.tarnGroup("TARN_FM"));
    const std::string expected =
        "The following group does not exist in the .814config.INI file: 'TARN_EM'. A valid group "
        "is necessary for proper functioning of our software.";
    testing::internal::CaptureStderr();
    try {
        Config814::getTmDatabasePath("TARN_EM");
        testing::internal::GetCapturedStderr();
        FAIL() << "no exception";
    } catch (const std::runtime_error& err) {
        EXPECT_EQ(err.what(), expected);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), expected + "\n");
    }
    // Group names are matched exactly.
    EXPECT_THROW(Config814::getGsePath("tarn_fm"), std::runtime_error);
}

TEST(Config814, MissingDefaultGroup) {
    Workstation ws;
    ScopedEnv e("INI814", ws.ini.toUtf8());
    ws.writeIni(ws.tarnGroup("TARN_FM"));
    try {
        Config814::getDefaultGroupFromIni();
        FAIL() << "no exception";
    } catch (const std::runtime_error& err) {
        EXPECT_EQ(std::string(err.what()),
                  "You must define the 'default_group' key under the 814 group in " +
                      ws.ini.toStdString());
    }
    EXPECT_EQ(Config814::getDefaultGroupFromIni("vireo"), "VIREO");
}

TEST(Config814, ConventionalPaths) {
    QTemporaryDir home;
    ScopedEnv h("HOME", home.path().toUtf8());
    const QString base = home.path() + "/";
    EXPECT_EQ(Config814::getDefaultPaths("TARN", "tm_database"),
              QStringList({base + "TMDef/TAR_TM_Database.txt"}));
    EXPECT_EQ(Config814::getDefaultPaths("TEV_TESTBED", "sclk_table"),
              QStringList({base + "TMDef/TTB_SCLK.txt"}));
    EXPECT_TRUE(Config814::getDefaultPaths("LUMO", "dac_file").isEmpty());
    EXPECT_TRUE(Config814::getDefaultPaths("VIREO", "sclk_table").isEmpty());
    EXPECT_EQ(Config814::getDefaultPaths("TEV", "gse"),
              QStringList({base + "tev/gse", base + "gse/tev", base + "gse/tevgse", base + "gse"}));
    EXPECT_EQ(Config814::getDefaultPaths("BORIL_TESTBED", "gse"),
              QStringList({base + "borilgse", base + "gse/boril", base + "gse/borilgse"}));
    EXPECT_EQ(Config814::getDefaultPaths("TARN", "seq_config"),
              QStringList({base + "sequence/config-default.ops"}));
    EXPECT_EQ(Config814::getDefaultPaths("TARN", "heater_table"),
              QStringList({base + "fswTables/heater.txt"}));
    EXPECT_TRUE(Config814::getDefaultPaths("tarn", "tm_database").isEmpty());
}
