#include <tools/util/appdefaults.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

// Puts a fake "defaults" first on the PATH for the test's duration.
class FakeDefaults {
public:
    explicit FakeDefaults(int exitCode) : oldPath_(qgetenv("PATH")) {
        record_ = dir_.filePath("args");
        QFile script(dir_.filePath("defaults"));
        script.open(QIODevice::WriteOnly);
        script.write(QStringLiteral("#!/bin/sh\necho \"$@\" > '%1'\nexit %2\n")
                         .arg(record_)
                         .arg(exitCode)
                         .toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        qputenv("PATH", dir_.path().toUtf8() + ":" + oldPath_);
    }
    ~FakeDefaults() { qputenv("PATH", oldPath_); }
    QString recorded() const {
        QFile f(record_);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).trimmed() : QString();
    }

private:
    QTemporaryDir dir_;
    QString record_;
    QByteArray oldPath_;
};

}  // namespace

TEST(AppDefaults, RunsTheSystemCommand) {
    {
        FakeDefaults fake(0);
        EXPECT_TRUE(AppDefaults::writeBool("com.quor.x", "NSAppSleepDisabled", true));
        EXPECT_EQ(fake.recorded(), "write com.quor.x NSAppSleepDisabled -bool YES");
        EXPECT_TRUE(AppDefaults::writeBool("com.quor.x", "Other", false));
        EXPECT_EQ(fake.recorded(), "write com.quor.x Other -bool NO");
    }
    FakeDefaults failing(3);  // a failing command reports false
    EXPECT_FALSE(AppDefaults::writeBool("com.quor.x", "K", true));
}

TEST(AppDefaults, MissingCommandRunsNothing) {
    QTemporaryDir empty;
    const QByteArray old = qgetenv("PATH");
    qputenv("PATH", empty.path().toUtf8());
    EXPECT_TRUE(AppDefaults::commandPath().isEmpty());
    EXPECT_FALSE(AppDefaults::writeBool("com.quor.x", "K", true));
    qputenv("PATH", old);
}
