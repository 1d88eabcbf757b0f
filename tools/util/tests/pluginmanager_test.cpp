#include <gselib/tests/testutil.h>
#include <tools/util/pluginmanager.h>

#include "echointerface.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtPlugin>

Q_IMPORT_PLUGIN(GenericStaticEcho)

namespace {

// The framework records its version in every plug-in's metadata; format it independently.
const QString kQtVersion = [] {
    const int v = QPluginLoader(GENERIC_ECHO_PLUGIN).metaData().value("version").toInt();
    return QStringLiteral("%1.%2.%3").arg(v >> 16).arg((v >> 8) & 0xff).arg(v & 0xff);
}();

// A plug-in directory holding both test plug-ins and a file that is no plug-in at all.
struct PluginDir {
    PluginDir() {
        generic = dir.filePath(QFileInfo(GENERIC_ECHO_PLUGIN).fileName());
        other = dir.filePath(QFileInfo(OTHER_ECHO_PLUGIN).fileName());
        QFile::copy(GENERIC_ECHO_PLUGIN, generic);
        QFile::copy(OTHER_ECHO_PLUGIN, other);
        QFile junk(dir.filePath("notes.txt"));
        junk.open(QIODevice::WriteOnly);
        junk.write("not a plug-in");
    }
    QTemporaryDir dir;
    QString generic;
    QString other;
};

QStringList echoes(const PluginManager& pm) {
    QStringList out;
    for (QObject* o : pm.loadedPluginsAsQObject<EchoInterface>()) {
        out.append(qobject_cast<EchoInterface*>(o)->echo("x"));
    }
    return out;
}

}  // namespace

TEST(PluginManager, LoadsStaticAndDynamicPluginsAndLabelsThem) {
    PluginDir pd;
    testutil::Messages reports("plugin_manager");
    PluginManager pm;
    EXPECT_EQ(pm.loadPlugins(pd.dir.path()), 3);
    EXPECT_EQ(reports.all.first(), "Loading static plugins...");
    EXPECT_TRUE(reports.has("Loaded static plugin: CLASS=GenericStaticEcho VERSION= QT_VERSION=" +
                            kQtVersion));
    EXPECT_TRUE(reports.has("Searching for plugins in: " + pd.dir.path()));
    EXPECT_TRUE(reports.hasPrefix("Could not load plugin: notes.txt Reason: "));
    EXPECT_TRUE(reports.has("Loaded plugin: CLASS=GenericEchoPlugin FILEPATH=" + pd.generic +
                            " VERSION=7 QT_VERSION=" + kQtVersion));

    // Static ones first, then dynamic ones in registration order.
    const QStringList got = echoes(pm);
    ASSERT_EQ(got.size(), 3);
    EXPECT_EQ(got[0], "static:x");
    EXPECT_TRUE(got.contains("generic:x"));
    EXPECT_TRUE(got.contains("other:x"));

    QObject* statik = pm.staticPlugins().first();
    EXPECT_EQ(statik->property(PluginManager::PROPERTY_PLUGIN_PATH).toString(),
              "GenericStaticEcho");
    EXPECT_EQ(statik->property(PluginManager::PROPERTY_PLUGIN_FILENAME).toString(), "static");
    EXPECT_EQ(statik->property(PluginManager::PROPERTY_PLUGIN_VERSION).toString(), "");
    for (QPluginLoader* l : pm.loaders()) {
        QObject* root = l->instance();
        const QString cls = root->property(PluginManager::PROPERTY_PLUGIN_CLASS).toString();
        const QString file = root->property(PluginManager::PROPERTY_PLUGIN_PATH).toString();
        EXPECT_EQ(file, cls == "GenericEchoPlugin" ? pd.generic : pd.other);
        EXPECT_EQ(root->property(PluginManager::PROPERTY_PLUGIN_FILENAME).toString(),
                  QFileInfo(file).fileName());
        EXPECT_EQ(root->property(PluginManager::PROPERTY_PLUGIN_VERSION).toString(),
                  cls == "GenericEchoPlugin" ? "7" : "2.1");
        EXPECT_EQ(root->property(PluginManager::PROPERTY_PLUGIN_QT_VERSION).toString(), kQtVersion);
        const QJsonObject meta =
            root->property(PluginManager::PROPERTY_PLUGIN_METADATA).toJsonObject();
        EXPECT_EQ(meta.value("IID").toString(), EchoInterface_iid);
    }
}

TEST(PluginManager, SecondLoadReportsDuplicatesAndReplacesDynamicPlugins) {
    PluginDir pd;
    PluginManager pm;
    ASSERT_EQ(pm.loadPlugins(pd.dir.path()), 3);
    testutil::Messages reports("plugin_manager");
    EXPECT_EQ(pm.loadPlugins(pd.dir.path()), 2);
    EXPECT_TRUE(
        reports.has("Duplicate static plugin found: CLASS=GenericStaticEcho "
                    "FILEPATH=GenericStaticEcho VERSION= QT_VERSION=" +
                    kQtVersion));
    EXPECT_TRUE(reports.has("Duplicate plugin found: CLASS=OtherEchoPlugin FILEPATH=" + pd.other +
                            " VERSION=2.1 QT_VERSION=" + kQtVersion));
    EXPECT_EQ(pm.staticPlugins().size(), 1);
    EXPECT_EQ(pm.loaders().size(), 2);
    EXPECT_EQ(echoes(pm).size(), 3);
}

TEST(PluginManager, ClassFiltersRestrictRegistration) {
    PluginDir pd;
    testutil::Messages reports("plugin_manager");
    PluginManager pm;
    pm.setClassFilters({QRegularExpression("^Generic")});
    EXPECT_EQ(pm.filtersString(), "['^Generic']");
    EXPECT_EQ(pm.loadPlugins(pd.dir.path()), 2);
    EXPECT_EQ(reports.all.first(), "Loading static plugins that match ['^Generic']...");
    EXPECT_TRUE(reports.has("Loading dynamic plugins that match ['^Generic']..."));
    EXPECT_EQ(pm.loaders().size(), 1);
    QStringList got = echoes(pm);
    got.sort();
    EXPECT_EQ(got, QStringList({"generic:x", "static:x"}));

    // Filters search anywhere in the name, case as the expression says.
    pm.setClassFilters({QRegularExpression("echo", QRegularExpression::CaseInsensitiveOption),
                        QRegularExpression("^Nothing")});
    EXPECT_EQ(pm.filtersString(), "['echo', '^Nothing']");
    EXPECT_TRUE(pm.matchesFilter("OtherEchoPlugin"));
    EXPECT_FALSE(pm.matchesFilter("Decoder"));
    pm.setClassFilters({});
    EXPECT_EQ(pm.filtersString(), "[]");
    EXPECT_TRUE(pm.matchesFilter("anything"));
}

TEST(PluginManager, UnloadsByDirectoryOnly) {
    PluginDir pd;
    QTemporaryDir elsewhere;
    PluginManager pm;
    // Both operations can be invoked by name, as a script or a queued call does.
    int loaded = -1;
    ASSERT_TRUE(QMetaObject::invokeMethod(&pm, "loadPlugins", Q_RETURN_ARG(int, loaded),
                                          Q_ARG(QString, pd.dir.path())));
    ASSERT_EQ(loaded, 3);
    EXPECT_EQ(pm.unloadPlugins(elsewhere.path()), 0);
    EXPECT_EQ(pm.loaders().size(), 2);
    testutil::Messages reports("plugin_manager");
    int unloaded = -1;
    ASSERT_TRUE(QMetaObject::invokeMethod(&pm, "unloadPlugins", Q_RETURN_ARG(int, unloaded),
                                          Q_ARG(QString, pd.dir.path())));
    EXPECT_EQ(unloaded, 2);
    EXPECT_TRUE(reports.has("Unloading plugins from: " + pd.dir.path()));
    EXPECT_TRUE(
        reports.hasPrefix("Unloading plugin: CLASS=GenericEchoPlugin FILEPATH=" + pd.generic));
    EXPECT_TRUE(pm.loaders().isEmpty());
    EXPECT_EQ(echoes(pm), QStringList({"static:x"}));  // static plug-ins stay
}

TEST(PluginManager, MissingDirectoryAndVersionText) {
    testutil::Messages reports("plugin_manager");
    PluginManager pm;
    QTemporaryDir tmp;
    const QString missing = tmp.filePath("absent");
    EXPECT_EQ(pm.loadPlugins(missing), 1);  // the static plug-in only
    EXPECT_TRUE(reports.has("Searching for plugins in: " + missing));
    EXPECT_EQ(pm.metaQtVersionToString(QJsonObject{{"version", 0x060502}}), "6.5.2");
    EXPECT_EQ(pm.metaQtVersionToString(QJsonObject{{"version", 0x7F0A0B0C}}), "10.11.12");
    EXPECT_EQ(pm.metaQtVersionToString(QJsonObject{}), "0.0.0");
}

TEST(PluginManager, DefaultDirectory) {
    int argc = 1;
    char name[] = "toolsutil_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    // The test binary's directory has no "plugins" folder: the build tree's plug-in directory.
    EXPECT_EQ(PluginManager::resolveDirectory(QString()),
              QDir(PluginManager::fallbackDirectory()).absolutePath());
    QDir(QCoreApplication::applicationDirPath()).mkdir("plugins");
    EXPECT_EQ(PluginManager::resolveDirectory(QString()),
              QCoreApplication::applicationDirPath() + "/plugins");
    QDir(QCoreApplication::applicationDirPath()).rmdir("plugins");
    EXPECT_EQ(PluginManager::resolveDirectory("rel/dir"),
              QDir::current().absoluteFilePath("rel/dir"));
}
