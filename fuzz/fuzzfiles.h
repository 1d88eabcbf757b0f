#pragma once

// Scratch files for the fuzz targets of the hand-edited text inputs: the readers take paths, so
// every run writes its input once into a directory of its own process.

#include <tools/logger/eventlogger.h>

#include <unistd.h>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace fuzzfiles {

/// The process's scratch directory, created on first use and removed at exit. It lies in memory
/// when the machine has a memory file system: rewriting a file on disk thousands of times a second
/// makes the file system flush it every time.
inline const QString& scratchDir() {
    static const QString dir = [] {
        const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm")
                                                                       : QDir::tempPath();
        const QString d = base + QStringLiteral("/k814-textfuzz-%1").arg(getpid());
        QDir().mkpath(d);
        std::atexit([] { QDir(scratchDir()).removeRecursively(); });
        return d;
    }();
    return dir;
}

/// Writes bytes to name inside the scratch directory (subdirectories made as needed).
inline QString write(const QString& name, const QByteArray& bytes) {
    const QString path = scratchDir() + QLatin1Char('/') + name;
    QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::abort();
    }
    return path;
}

inline QString write(const QString& name, const uint8_t* data, size_t size) {
    return write(name, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
}

/// Library messages are dropped, as inside the module: a logger that logs nothing.
inline void silenceLibraryMessages() {
    static const auto logger = std::make_unique<EventLogger>(LoggerConfig::noLogging());
}

/// Ends the run as a finding, with a line saying why.
[[noreturn]] inline void finding(const char* what, const QString& detail = {}) {
    std::fprintf(stdout, "FINDING: %s %s\n", what, qPrintable(detail));
    std::fflush(stdout);
    std::abort();
}

}  // namespace fuzzfiles
