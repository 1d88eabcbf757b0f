#include <tools/logger/eventlogger.h>

#include <tools/logger/diagnostics.h>

#include <cstdio>

namespace {
EventLogger* g_instance = nullptr;
}

EventLogger::EventLogger(const LoggerConfig& config, QObject* parent)
    : QObject(parent), config_(config) {
    setObjectName(QStringLiteral("EventLogger"));
    g_instance = this;
}

EventLogger::~EventLogger() {
    if (g_instance == this) {
        g_instance = nullptr;
    }
}

EventLogger* EventLogger::instance() {
    return g_instance;
}

void EventLogger::configure(const LoggerConfig& config) {
    config_ = config;
}

void EventLogger::sendMessage(const QString& category, const QString& file, int line, int level,
                              const QString& text) {
    if (!config_.loggingEnabled() || level < config_.level()) {
        ++dropped_;
        return;
    }
    ++accepted_;
    emit messageAccepted(category, level, text);
    if (config_.localOutput()) {
        GseLib::Diagnostics::report(GseLib::Diagnostics::Kind::Event,
                                    QStringLiteral("%1 [%2] %3:%4 %5")
                                        .arg(LoggerConfig::levelName(level), category, file)
                                        .arg(line)
                                        .arg(text));
    }
}
