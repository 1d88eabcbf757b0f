#include <gselib/config814.h>
#include <gselib/quorcoreapp.h>
#include <tools/logger/eventlogger.h>
#include <tools/logger/eventmessage.h>
#include <tools/util/pluginmanager.h>

#include "testutil.h"

#include <gtest/gtest.h>

#include <QDir>

using namespace GseLib;
using testutil::ScopedEnv;
using testutil::writeFile;

// One application object per process, so everything about it is checked in one test.
TEST(QuorCoreApp, SetUpLoggerAndConfiguration) {
    QTemporaryDir bin;
    const QString record = bin.filePath("defaults.args");
    // A stand-in for the system's "defaults" command that records its arguments.
    writeFile(bin.filePath("defaults"),
              QStringLiteral("#!/bin/sh\necho \"$@\" > '%1'\n").arg(record).toUtf8());
    QFile::setPermissions(bin.filePath("defaults"), QFile::ReadOwner | QFile::ExeOwner);
    ScopedEnv path("PATH", (bin.path() + ":" + qgetenv("PATH")).toUtf8());

    int argc = 0;
    QuorCoreApp app(argc, nullptr, 1, 2, 3, "b7");
    EXPECT_EQ(QCoreApplication::organizationName(), "quor");
    EXPECT_EQ(QCoreApplication::organizationDomain(), "quor");
    EXPECT_TRUE(app.napDisabled());
    QFile args(record);
    ASSERT_TRUE(args.open(QIODevice::ReadOnly));
    EXPECT_EQ(args.readAll().trimmed(),
              ("write " + QuorCoreApp::appIdentifier() + " NSAppSleepDisabled -bool YES").toUtf8());
    EXPECT_TRUE(QuorCoreApp::appIdentifier().startsWith("com.quor."));
    EXPECT_EQ(
        QCoreApplication::applicationVersion(),
        QStringLiteral("1.2.3.b7 Built: Qt %1 Runtime: Qt %2").arg(QT_VERSION_STR, qVersion()));

    // With logging switched off, messages reach the logger and are dropped there.
    app.initializeLogger(LoggerConfig::noLogging());
    ASSERT_NE(EventLogger::instance(), nullptr);
    testing::internal::CaptureStderr();
    GSE_LOG_WARN("test", "dropped");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(EventLogger::instance()->droppedCount(), 1);
    EXPECT_EQ(EventLogger::instance()->acceptedCount(), 0);

    // The plug-in manager is made on first use and kept; filters are replaced by each call.
    EXPECT_EQ(app.pluginManager(), nullptr);
    QTemporaryDir plugins;
    app.loadPlugins({plugins.path()},
                    {QRegularExpression("^tarn", QRegularExpression::CaseInsensitiveOption)});
    PluginManager* manager = app.pluginManager();
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(manager->parent(), &app);
    EXPECT_EQ(manager->filtersString(), "['^tarn']");
    app.loadPlugins({plugins.path()}, {QRegularExpression("^Generic")});
    EXPECT_EQ(app.pluginManager(), manager);
    EXPECT_EQ(manager->filtersString(), "['^Generic']");

    // initializeConfig814 with an empty group takes the INI default and moves into its gse path.
    QTemporaryDir ws;
    QDir(ws.path()).mkpath("gse");
    QDir(ws.path()).mkpath("TMDef");
    QDir(ws.path()).mkpath("viewers");
    QDir(ws.path()).mkpath("data");
    writeFile(ws.filePath("TMDef/PRYN_TM_Database.txt"), "x");
    const QString ini = ws.filePath("station.INI");
    writeFile(ini, QStringLiteral("[814]\ndefault_group=pryn\n[PRYN]\ngse=%1\ntm_definitions=%2\n"
                                  "tm_database=%3\nviewers_root=%4\ndata_root=%5\n")
                       .arg(ws.filePath("gse"), ws.filePath("TMDef"),
                            ws.filePath("TMDef/PRYN_TM_Database.txt"), ws.filePath("viewers"),
                            ws.filePath("data"))
                       .toUtf8());
    ScopedEnv e("INI814", ini.toUtf8());
    const QString before = QDir::currentPath();
    app.initializeConfig814(QString());
    EXPECT_EQ(Config814::getDefaultGroup(), "PRYN");
    EXPECT_EQ(QDir::currentPath(), QDir(ws.filePath("gse")).canonicalPath());
    EXPECT_THROW(app.initializeConfig814("AZU"), std::runtime_error);
    QDir::setCurrent(before);
}
