#include <gselib/tmmeta.h>

#include "testutil.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QTimeZone>

using namespace GseLib;
using testutil::writeFile;

namespace {

void setMtime(const QString& path, qint64 secsSinceEpoch) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(QDateTime::fromSecsSinceEpoch(secsSinceEpoch),
                              QFileDevice::FileModificationTime));
}

const char* kFullGse = R"("mission": "Tarn", "model": "fm", "patch_files": ["a.txt", "b.json"],
    "tid": 12345, "tid_dir": "2012-04-02-12.35.42-12345-testname", "tmfile_name": "tm.dat",
    "default_mcal": "cal.mcal", "dac_table": "dac.txt")";

}  // namespace

TEST(TmMeta, VersionsDecideWhichKeysAreRead) {
    struct Case {
        const char* name;
        QByteArray content;
        bool valid;
        int version;
        QString mcal;
        QString dac;
    };
    auto gse = [](const char* version) {
        return QByteArray("{\"gse\": {\"version\": ") + version + ", " + kFullGse + "}}";
    };
    const Case cases[] = {
        {"v1", gse("1"), true, 1, "", ""},
        {"v2", gse("2"), true, 2, "cal.mcal", ""},
        {"v3", gse("3"), true, 3, "cal.mcal", "dac.txt"},
        {"v4 parsed as v3", gse("4"), true, 4, "cal.mcal", "dac.txt"},
        {"v0", gse("0"), false, 0, "", ""},
        {"negative", gse("-2"), false, -2, "", ""},
        {"no gse", "{\"other\": 1}", false, 0, "", ""},
        {"not json", "mission=tarn", false, 0, "", ""},
        {"empty file", "", false, 0, "", ""},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        writeFile(dir.filePath("tm.meta"), c.content);
        TmMeta meta(dir.path());
        EXPECT_EQ(meta.isValid(), c.valid) << c.name;
        if (!c.valid) {
            continue;
        }
        EXPECT_EQ(meta.version(), c.version) << c.name;
        EXPECT_EQ(meta.mission(), "Tarn") << c.name;
        EXPECT_EQ(meta.model(), "fm") << c.name;
        EXPECT_EQ(meta.tid(), 12345) << c.name;
        EXPECT_EQ(meta.patchFiles(), QStringList({"a.txt", "b.json"})) << c.name;
        EXPECT_EQ(meta.tmfileName(), "tm.dat") << c.name;
        EXPECT_EQ(meta.defaultMcal(), c.mcal) << c.name;
        EXPECT_EQ(meta.dacTable(), c.dac) << c.name;
        EXPECT_EQ(meta.fileName(), dir.filePath("tm.meta")) << c.name;
    }
}

TEST(TmMeta, FileSearchOrder) {
    QTemporaryDir dir;
    const QString older = dir.filePath("older.meta");
    const QString newer = dir.filePath("newer.meta");
    writeFile(older, R"({"gse": {"version": 3, "mission": "older"}})");
    writeFile(newer, R"({"gse": {"version": 3, "mission": "newer"}})");
    setMtime(older, 1700000000);
    setMtime(newer, 1700000100);
    EXPECT_EQ(TmMeta(dir.path()).mission(), "newer");

    // tm.meta wins over any newer *.meta file.
    writeFile(dir.filePath("tm.meta"), R"({"gse": {"version": 3, "mission": "tm"}})");
    setMtime(dir.filePath("tm.meta"), 1600000000);
    EXPECT_EQ(TmMeta(dir.path()).mission(), "tm");

    // A telemetry file's own "<name>.meta" wins over tm.meta.
    writeFile(dir.filePath("run.tlm"), "\x02\x00");
    writeFile(dir.filePath("run.tlm.meta"), R"({"gse": {"version": 2, "mission": "sibling"}})");
    setMtime(dir.filePath("run.tlm.meta"), 1500000000);
    EXPECT_EQ(TmMeta(dir.filePath("run.tlm")).mission(), "sibling");
    // A telemetry file without one falls back to the directory search.
    writeFile(dir.filePath("other.tlm"), "\x02\x00");
    const TmMeta other(dir.filePath("other.tlm"));
    EXPECT_EQ(other.mission(), "tm");
    EXPECT_EQ(other.directoryPath(), dir.path());

    // Naming a metadata file directly reads that file.
    EXPECT_EQ(TmMeta(older).mission(), "older");
    // A broken sibling falls back to the directory's tm.meta.
    writeFile(dir.filePath("run.tlm.meta"), "not json");
    EXPECT_EQ(TmMeta(dir.filePath("run.tlm")).mission(), "tm");
}

TEST(TmMeta, EmptyOrMissingDirectoryIsInvalid) {
    QTemporaryDir dir;
    EXPECT_FALSE(TmMeta(dir.path()).isValid());
    EXPECT_FALSE(TmMeta(dir.filePath("nope")).isValid());
    EXPECT_FALSE(TmMeta().isValid());
}

TEST(TmMeta, SaveKeepsUnknownKeysAndWritesCurrentVersion) {
    QTemporaryDir dir;
    writeFile(dir.filePath("tm.meta"),
              R"({"gse": {"version": 1, "mission": "vireo", "tid": 7, "extra_gse": true},
                  "station": {"rack": 4}, "annotations": [
                  {"key": 3, "x": 12.5, "text": "valve open", "relevant_hkids": [17, 18]},
                  42, "skip me"]})");
    TmMeta meta(dir.path());
    ASSERT_TRUE(meta.isValid());
    ASSERT_EQ(meta.annotations().size(), 1);
    EXPECT_EQ(meta.annotations()[0], Annotation(3, 12.5, "valve open", {17, 18}));
    meta.addAnnotation(Annotation(4, 20.0, "second", {}));
    meta.setDacTable("VIREO_DAC_Conversions.txt");

    QTemporaryDir out;
    ASSERT_TRUE(meta.save(out.path()));
    const TmMeta reread(out.path());
    ASSERT_TRUE(reread.isValid());
    EXPECT_EQ(reread.version(), 3);
    EXPECT_EQ(reread.mission(), "vireo");
    EXPECT_EQ(reread.tid(), 7);
    EXPECT_EQ(reread.dacTable(), "VIREO_DAC_Conversions.txt");
    EXPECT_EQ(reread.annotations().size(), 2);
    EXPECT_EQ(reread.annotations()[1].text(), "second");
    EXPECT_EQ(reread.json().value("station").toObject().value("rack").toInt(), 4);
    // The gse object is rewritten from the fields: keys this version does not know are gone.
    EXPECT_FALSE(reread.json().value("gse").toObject().contains("extra_gse"));

    EXPECT_FALSE(meta.save(dir.filePath("missing-dir")));
    EXPECT_FALSE(TmMeta().save());
}

TEST(TmMeta, ConfigGroupAndStartTime) {
    TmMeta meta;
    meta.setMission("tarn");
    meta.setModel("fm");
    EXPECT_EQ(meta.config814Group(), "TARN_FM");
    meta.setModel("");
    EXPECT_EQ(meta.config814Group(), "TARN");
    EXPECT_TRUE(meta.isMission("TARN"));
    EXPECT_FALSE(meta.isMission("tar"));

    meta.setTidDir("2012-04-02-12.35.42-12345-testname");
    const QDateTime start = meta.datetimeFromTidDir();
    ASSERT_TRUE(start.isValid());
    EXPECT_EQ(start.timeZone().id(), QByteArray("America/New_York"));
    EXPECT_EQ(start.time(), QTime(12, 35, 42));
    // Daylight saving time was in force: four hours behind UTC.
    EXPECT_EQ(start.toSecsSinceEpoch(), 1333384542);
    meta.setTidDir("2012-01-15-08.00.00-00001-winter");
    EXPECT_EQ(meta.datetimeFromTidDir().toSecsSinceEpoch(), 1326632400);

    for (const char* bad : {"", "testname", "2012-13-02-12.35.42-12345-x", "2012-04-02 12:35:42"}) {
        meta.setTidDir(bad);
        EXPECT_FALSE(meta.datetimeFromTidDir().isValid()) << bad;
    }
}

TEST(Annotation, EqualityToleratesTinyPositionDifferences) {
    const Annotation a(1, 10.0, "t", {1});
    EXPECT_EQ(a, Annotation(1, 10.000009, "t", {1}));
    EXPECT_NE(a, Annotation(1, 10.00002, "t", {1}));
    EXPECT_NE(a, Annotation(2, 10.0, "t", {1}));
    EXPECT_NE(a, Annotation(1, 10.0, "u", {1}));
    EXPECT_NE(a, Annotation(1, 10.0, "t", {1, 2}));
    EXPECT_EQ(Annotation(0, 0, "", {5, -3}).relevantHkidsStringList(), QStringList({"5", "-3"}));
}
