#pragma once

#include <tools/logger/eventlogger.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

namespace testutil {

/// Writes bytes to path, creating parent directories.
inline void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        throw std::runtime_error("cannot write " + path.toStdString());
    }
    f.write(bytes);
}

/// Sets (or unsets, with nullopt) an environment variable for the scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<QByteArray> value) : name_(name) {
        if (qEnvironmentVariableIsSet(name)) {
            old_ = qgetenv(name);
        }
        if (value) {
            qputenv(name, *value);
        } else {
            qunsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (old_) {
            qputenv(name_, *old_);
        } else {
            qunsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<QByteArray> old_;
};

inline std::vector<uint8_t> bytesOf(std::initializer_list<int> values) {
    std::vector<uint8_t> out;
    for (int v : values) {
        out.push_back(static_cast<uint8_t>(v));
    }
    return out;
}

/// Collects the event messages of one category while it lives.
class Messages {
public:
    // There is one event logger per process: the first collector creates it, later ones (and
    // their categories) listen to the same one. An empty category collects every message.
    explicit Messages(const char* category) : category_(category) {
        if (!EventLogger::instance()) {
            owned_ = std::make_unique<EventLogger>(config());
        }
        connection_ = QObject::connect(EventLogger::instance(), &EventLogger::messageAccepted,
                                       [this](const QString& cat, int level, const QString& text) {
                                           if (category_.isEmpty() || cat == category_) {
                                               all.append(text);
                                               if (level >= LoggerConfig::WARN)
                                                   warnings.append(text);
                                           }
                                       });
    }
    ~Messages() { QObject::disconnect(connection_); }
    bool has(const QString& text) const { return all.contains(text); }
    bool hasPrefix(const QString& prefix) const {
        for (const QString& l : all) {
            if (l.startsWith(prefix))
                return true;
        }
        return false;
    }
    QStringList all;
    QStringList warnings;

private:
    static LoggerConfig config() {
        LoggerConfig c;
        c.setLevel(LoggerConfig::TRACE);
        c.setLocalOutput(false);
        return c;
    }
    std::unique_ptr<EventLogger> owned_;
    QString category_;
    QMetaObject::Connection connection_;
};

}  // namespace testutil
