#include <gselib/tests/testutil.h>
#include <gselib/transferfuncfactory.h>
#include <plugins/plugins.h>
#include <tools/util/pluginmanager.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QRegularExpression>

K814_IMPORT_BUILTIN_PLUGINS()

TEST(TransferFuncFactory, IdentityBeforeAnyMakerIsLoaded) {
    testutil::Messages log("transfer_func");
    TransferFuncFactory::instance().loadTransferFuncPlugins(nullptr);
    const auto f = TransferFuncFactory::instance().makeTransferFunc(1, {5, 2}, "", "");
    EXPECT_EQ(f->apply(7.5), 7.5);
    EXPECT_EQ(log.warnings, QStringList({"Unsupported sci eq type: 1"}));
}

TEST(TransferFuncFactory, BuiltInMakersServeTheirTypes) {
    PluginManager manager;
    manager.setClassFilters({QRegularExpression("TransferFuncMaker")});
    ASSERT_EQ(manager.loadPlugins(QList<QString>{}), 2);
    testutil::Messages log("transfer_func");
    TransferFuncFactory& factory = TransferFuncFactory::instance();
    factory.loadTransferFuncPlugins(&manager);
    EXPECT_EQ(factory.makerCount(), 2);
    EXPECT_EQ(factory.types().size(), 14u + 7u);
    EXPECT_TRUE(log.all.contains("Total transfer func IDs loaded: 21"));
    EXPECT_TRUE(log.all.contains(
        "Loading transfer funcs from plugin: GenericTransferFuncMaker VERSION=1 QT_VERSION=" +
        manager.staticPlugins().first()->property("PLUGIN_QT_VERSION").toString()));
    EXPECT_TRUE(log.all.contains("Num IDs: 14"));
    EXPECT_TRUE(log.warnings.isEmpty());

    struct Case {
        int type;
        std::vector<double> k;
        const char* description;
        double x, y;
    };
    const Case cases[] = {
        {0, {9, 9}, "Polynomial", 12, 12},
        {1, {1, 2, 0, 0, 0, 0, 0, 0}, "Polynomial", 3, 7},
        {2, {10, 1}, "ADC to Volts", 65536, 5},
        {2, {10, 1}, "ADC to Volts", 32768, 0},
        {3, {0, 1000}, "ADC to Ohms", 32768, 1000},
        {5, {1000, -5, 0.1, 0.001}, "RSIM degrees", 0.5, 1095},
        {6, {100, 0.385, 0}, "PRT ADC to degrees", 138.5, 100},
        {7, {1, 2, 3, 4, 5, 100}, "Pyrosense ADC to degrees ", 98, 129},
        {10, {1, 2}, "Natural log", 1, 1},
        {11, {16, 0}, "Twos comp. to signed", 65535, -1},
        {13, {1, 2, 10}, "Log", 1000, 7},
        {100, {10000}, "ADC to Ohms", 32768, 10000},
        {102, {2, 10}, "VIREO PRT ADC to degrees C", 20, 30},
        {107, {}, "VIREO PT 16x16 Double", 98304, 1.5},
    };
    for (const Case& c : cases) {
        const auto f = factory.makeTransferFunc(c.type, c.k, "", "");
        EXPECT_EQ(f->description(), c.description) << c.type;
        EXPECT_NEAR(f->apply(c.x), c.y, 1e-9) << c.type;
    }
    EXPECT_TRUE(log.warnings.isEmpty());

    // 103 is not served by the VIREO maker, 14 by nobody: identity and a warning each.
    for (int type : {103, 14}) {
        const auto f = factory.makeTransferFunc(type, {2, 2}, "", "");
        EXPECT_EQ(f->apply(4.25), 4.25);
        EXPECT_EQ(log.warnings.last(), QStringLiteral("Unsupported sci eq type: %1").arg(type));
    }
    // The lookup-table type reads the named table below the database directory.
    testing::internal::CaptureStderr();
    const auto table = factory.makeTransferFunc(12, {}, "none.csv", "/nonexistent");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Failed to open /nonexistent/lookupTables/none.csv\n");
    EXPECT_EQ(table->equationAsString(), "Lookup table (INVALID)");
}

TEST(TransferFuncFactory, DynamicMakerAddsTypesAndEarlierMakerWinsDuplicates) {
    PluginManager manager;
    // Four built-in makers and the one plug-in file.
    ASSERT_EQ(manager.loadPlugins(QString(TEST_PLUGIN_DIR)), 5);
    testutil::Messages log("transfer_func");
    TransferFuncFactory& factory = TransferFuncFactory::instance();
    factory.loadTransferFuncPlugins(&manager);
    EXPECT_EQ(factory.makerCount(), 3);
    EXPECT_EQ(log.warnings, QStringList({"Duplicate transfer func id: 13"}));
    EXPECT_TRUE(log.all.contains("Total transfer func IDs loaded: 22"));
    EXPECT_EQ(factory.makeTransferFunc(200, {}, "", "")->apply(5), 15);
    EXPECT_EQ(factory.makeTransferFunc(13, {1, 2, 10}, "", "")->description(), "Log");

    // After unloading the plug-in directory the factory must be reloaded; type 200 is gone.
    factory.loadTransferFuncPlugins(nullptr);
    EXPECT_EQ(manager.unloadPlugins(QString(TEST_PLUGIN_DIR)), 1);
    factory.loadTransferFuncPlugins(&manager);
    EXPECT_EQ(factory.makeTransferFunc(200, {}, "", "")->apply(5), 5);
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
