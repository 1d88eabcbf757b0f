#include <tarnlib/masscal.h>

#include <gselib/config814.h>
#include <gselib/tmmeta.h>

#include "testutil.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <cmath>

using TarGse::MassCal;
using TarGse::MassCalEntry;
using testutil::writeFile;

namespace {

// A version-2 entry object with the given extra text, points (control, amu) and keys.
QString v2Entry(int phaseCycle, int order, const QString& points,
                const QString& constants = QStringLiteral(", \"constants\": [9, 9, 9]")) {
    return QStringLiteral(
               "{\"phase_cycle\": %1, \"order\": %2, \"rms\": 0.5%3, "
               "\"data_points\": [%4]}")
        .arg(phaseCycle)
        .arg(order)
        .arg(constants, points);
}

QString v2File(int mode, const QStringList& entries) {
    return QStringLiteral("{\"version\": 2, \"control_mode\": %1, \"entries\": [%2]}")
        .arg(mode)
        .arg(entries.join(QStringLiteral(", ")));
}

// Points on y = 2 + 3x and on y = 1 + 0.5x + 0.01x^2: exact fits have known coefficients.
const QString LINE = QStringLiteral(
    "{\"control\": 10, \"amu\": 32}, {\"control\": 20, \"amu\": 62}, {\"control\": 40, \"amu\": "
    "122}");
const QString PARABOLA = QStringLiteral(
    "{\"control\": 0, \"amu\": 1}, {\"control\": 10, \"amu\": 7}, {\"control\": 20, \"amu\": 15}, "
    "{\"control\": 50, \"amu\": 51}");

}  // namespace

TEST(MassCalEntry, VersionTwoEntries) {
    struct Case {
        const char* what;
        QString text;
        bool valid;
        int points;
        double x;
        double y;  // apply(x)
    };
    const Case cases[] = {
        {"line", v2Entry(3, 1, LINE), true, 3, 100.0, 302.0},
        {"order 0 fits a line", v2Entry(3, 0, LINE), true, 3, 100.0, 302.0},
        {"parabola", v2Entry(3, 2, PARABOLA), true, 4, 100.0, 1 + 50 + 100},
        {"parabola points, order 1: not exact", v2Entry(3, 1, PARABOLA), true, 4, 0.0, NAN},
        {"no constants: invalid", v2Entry(3, 1, LINE, QString()), false, 0, 5.0, 5.0},
        {"one point: identity", v2Entry(3, 1, "{\"control\": 10, \"amu\": 32}"), true, 1, 7.0, 7.0},
        {"malformed points skipped",
         v2Entry(3, 1,
                 LINE + ", {\"control\": 1}, {\"control\": 1, \"amu\": 2, \"x\": 3}, "
                        "{\"control\": \"a\", \"amu\": 2}, 17, {\"control\": \"30\", \"amu\": 92}"),
         true, 4, 100.0, 302.0},
        // Not finite: no calibration point (a NaN key broke the ordering; found by fuzzing).
        {"nan and inf skipped",
         v2Entry(3, 1,
                 LINE + ", {\"control\": \"nan\", \"amu\": 2}, {\"control\": 5, \"amu\": "
                        "\"-inf\"}"),
         true, 3, 100.0, 302.0},
        {"phase cycle not a number", QString(v2Entry(3, 1, LINE)).replace("3,", "\"x\","), false, 0,
         5.0, 5.0},
        {"not JSON", QStringLiteral("{"), false, 0, 5.0, 5.0},
    };
    for (const Case& c : cases) {
        const MassCalEntry e(2, c.text);
        EXPECT_EQ(e.isValid(), c.valid) << c.what;
        EXPECT_EQ(int(e.dataPoints().size()), c.points) << c.what;
        if (!std::isnan(c.y)) {
            EXPECT_NEAR(e.apply(c.x), c.y, 1e-9) << c.what;
        }
        if (c.valid) {
            EXPECT_EQ(e.phaseCycle(), 3) << c.what;
        }
    }
    // The stored constants [9, 9, 9] are ignored: the points are refitted.
    const MassCalEntry line(2, v2Entry(3, 1, LINE));
    EXPECT_NEAR(line.a(), 2.0, 1e-9);
    EXPECT_NEAR(line.b(), 3.0, 1e-9);
    EXPECT_NEAR(line.inverse(302.0), 100.0, 1e-9);
    EXPECT_EQ(MassCalEntry(2, v2Entry(3, 1, "{\"control\": 10, \"amu\": 32}")).rms(), 0.0);
}

TEST(MassCalEntry, EditingRefitsAndRoundTrips) {
    MassCalEntry e(2, v2Entry(4, 1, LINE));
    e.addDataPoint(10.0, 30.0);  // replaces the point at 10
    EXPECT_EQ(e.dataPoints().at(10.0), 30.0);
    EXPECT_GT(std::fabs(e.apply(10.0) - 32.0), 0.1);
    EXPECT_TRUE(e.removeDataPoint(10.0));
    EXPECT_FALSE(e.removeDataPoint(10.0));
    EXPECT_NEAR(e.apply(0.0), 2.0, 1e-9);  // the two points left are on the line again
    e.setOrder(7);
    EXPECT_EQ(e.order(), 1);
    e.setOrder(2);
    EXPECT_EQ(e.order(), 2);

    const MassCalEntry back(2, e.toString());
    EXPECT_EQ(back.toJson(), e.toJson());
    EXPECT_EQ(back.phaseCycle(), 4);
}

TEST(MassCalEntry, VersionOneText) {
    const MassCalEntry e(1, QStringLiteral("h1\th2\th3\th4\n10\t32\n\nnot\ta number\n20\t62\t9\n"
                                           "40\t122\r\nnan\t5\n7\tinf\n"));
    EXPECT_TRUE(e.isValid());
    EXPECT_EQ(e.phaseCycle(), -1);
    EXPECT_EQ(e.dataPoints().size(), 2u);  // "20 62 9" has three fields; nan and inf skipped
    EXPECT_NEAR(e.apply(100.0), 302.0, 1e-9);
    EXPECT_FALSE(MassCalEntry(1, QStringLiteral("h1\th2\th3\n10\t32\n20\t62\n")).isValid());
}

TEST(MassCal, LoadingLookupAndFiles) {
    QTemporaryDir dir;
    const QString v2 = dir.filePath("cal.mcal");
    writeFile(v2, v2File(1, {v2Entry(3, 1, LINE), v2Entry(5, 2, PARABOLA),
                             v2Entry(6, 1, LINE, QString())})
                      .toUtf8());
    MassCal cal;
    int changed = 0;
    int loading = 0;
    QObject::connect(&cal, &MassCal::changed, [&] { ++changed; });
    QObject::connect(&cal, &MassCal::aboutToLoad, [&] { ++loading; });
    ASSERT_TRUE(cal.loadFromFile(v2));
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(loading, 1);
    EXPECT_EQ(cal.fileVersion(), 2);
    EXPECT_EQ(cal.controlModeAsString(), "RF_MON");
    EXPECT_EQ(cal.phaseCycles(), (QList<int>{-1, 3, 5}));  // 6 was invalid
    EXPECT_NEAR(cal[5].apply(100.0), 151.0, 1e-9);
    // Phase cycle 7 has no entry: the default, a copy of the file's first entry, stands in.
    EXPECT_NEAR(cal[7].apply(100.0), 302.0, 1e-9);
    EXPECT_EQ(cal[7].phaseCycle(), 3);

    // An unreadable file changes nothing.
    EXPECT_FALSE(cal.loadFromFile(dir.filePath("missing.mcal")));
    EXPECT_EQ(cal.phaseCycles().size(), 3);

    // The written form reads back to the same calibration.
    const QString copy = dir.filePath("copy.mcal");
    writeFile(copy, cal.toString().toUtf8());
    MassCal again;
    ASSERT_TRUE(again.loadFromFile(copy));
    for (int pc : {-1, 3, 5})
        EXPECT_EQ(again[pc], cal[pc]) << pc;

    // Version 1 and non-JSON text: one default entry, bin mode.
    const QString v1 = dir.filePath("old.mcal");
    writeFile(v1, "a\tb\tc\td\n10\t32\n20\t62\n");
    ASSERT_TRUE(cal.loadFromFile(v1));
    EXPECT_EQ(cal.fileVersion(), 1);
    EXPECT_EQ(cal.controlModeAsString(), "BIN");
    EXPECT_EQ(cal.phaseCycles(), QList<int>{-1});

    // Nothing usable: the identity.
    cal.clearEntries();
    EXPECT_FALSE(cal[2].isValid());
    EXPECT_EQ(cal[2].apply(12.5), 12.5);

    cal.setControlMode(MassCal::RF_DAC);
    const int before = changed;
    cal.setControlMode(MassCal::RF_DAC);
    EXPECT_EQ(changed, before);
}

TEST(MassCal, ChoosingTheFileOfATestRun) {
    QTemporaryDir root;
    const QString lab = root.filePath("mcal");
    const QString gse = root.filePath("gse");
    const QString tid = root.filePath("2012-04-02-12.35.42-12345-run");
    for (const QString& d : {lab, gse + "/mcal", tid})
        QDir().mkpath(d);
    writeFile(root.filePath("station.INI"),
              QStringLiteral("[TARN]\nmcal_root=%1\ngse=%2\n").arg(lab, gse).toUtf8());
    testutil::ScopedEnv ini("INI814", root.filePath("station.INI").toUtf8());
    GseLib::Config814::setDefaultGroup("TARN");

    // Name order, not time: b_v0 sorts after a_v1.
    writeFile(lab + "/b_v0.mcal", v2File(0, {v2Entry(-1, 1, LINE)}).toUtf8());
    writeFile(lab + "/a_v1.mcal", v2File(0, {v2Entry(-1, 2, PARABOLA)}).toUtf8());
    MassCal cal;
    EXPECT_EQ(cal.findNewestConfig(lab), QDir(lab).absoluteFilePath("b_v0.mcal"));
    EXPECT_EQ(cal.findNewestConfig(tid), QString());

    // A test run without a calibration gets a copy of the laboratory's newest one.
    GseLib::TmMeta meta;
    TarGse::initializeMassCal(cal, meta, tid);
    EXPECT_TRUE(QFileInfo::exists(tid + "/b_v0.mcal"));
    EXPECT_EQ(cal.filePath(), tid + "/b_v0.mcal");
    EXPECT_NEAR(cal[-1].apply(100.0), 302.0, 1e-9);

    // The tm.meta's named file wins when the run has it.
    writeFile(tid + "/chosen.mcal", v2File(0, {v2Entry(-1, 2, PARABOLA)}).toUtf8());
    meta.setDefaultMcal("chosen.mcal");
    TarGse::initializeMassCal(cal, meta, tid);
    EXPECT_NEAR(cal[-1].apply(100.0), 151.0, 1e-9);
    // ...and is ignored when it does not: the run's newest file is used.
    meta.setDefaultMcal("gone.mcal");
    TarGse::initializeMassCal(cal, meta, tid);
    EXPECT_EQ(cal.filePath(), QDir(tid).absoluteFilePath("chosen.mcal"));

    writeFile(gse + "/mcal/masses.amu", "# default masses\n 28.0\n\n4\n#18\nxx\n 2.5 \n");
    EXPECT_EQ(MassCal::getDefaultMasses(), (QList<double>{2.5, 4.0, 28.0}));
}
