#pragma once

#include <tools/logger/loggerconfig.h>

#include <QString>

namespace GseLib {

/**
 * @brief Delivers one event message.
 *
 * Goes to the process's event logger through its "sendMessage" operation when one exists;
 * otherwise it is written, simplified to level, category and text, to standard error.
 */
void logEvent(const char* category, const char* file, int line, int level, const QString& text);

}  // namespace GseLib

#define GSE_LOG(level, category, text) \
    ::GseLib::logEvent((category), __FILE__, __LINE__, (level), (text))
#define GSE_LOG_TRACE(category, text) GSE_LOG(LoggerConfig::TRACE, category, text)
#define GSE_LOG_DEBUG(category, text) GSE_LOG(LoggerConfig::DEBUG, category, text)
#define GSE_LOG_INFO(category, text) GSE_LOG(LoggerConfig::INFO, category, text)
#define GSE_LOG_WARN(category, text) GSE_LOG(LoggerConfig::WARN, category, text)
#define GSE_LOG_ERROR(category, text) GSE_LOG(LoggerConfig::ERROR, category, text)
