#include <tools/logger/eventlogger.h>
#include <tools/logger/eventmessage.h>

#include <gtest/gtest.h>

TEST(EventMessage, WithoutLoggerGoesToStandardErrorSimplified) {
    ASSERT_EQ(EventLogger::instance(), nullptr);
    testing::internal::CaptureStderr();
    GSE_LOG_WARN("tmdb", QStringLiteral("row 17 has no packet type"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "WARN tmdb: row 17 has no packet type\n");
}

TEST(EventMessage, LoggerConfigurationDecides) {
    struct Case {
        const char* name;
        LoggerConfig config;
        int level;
        bool accepted;
        std::string stderrText;
    };
    LoggerConfig quietInfo;
    quietInfo.setLocalOutput(false);
    LoggerConfig errorsOnly;
    errorsOnly.setLevel(LoggerConfig::ERROR);
    errorsOnly.setLocalOutput(false);
    const Case cases[] = {
        {"switched off", LoggerConfig::noLogging(), LoggerConfig::FATAL, false, ""},
        {"accepted, not echoed", quietInfo, LoggerConfig::INFO, true, ""},
        {"below level", errorsOnly, LoggerConfig::WARN, false, ""},
        {"at level", errorsOnly, LoggerConfig::ERROR, true, ""},
        {"echoed", LoggerConfig(), LoggerConfig::CMD, true, "CMD [cat] f.cpp:7 hello\n"},
    };
    for (const Case& c : cases) {
        EventLogger logger(c.config);
        testing::internal::CaptureStderr();
        GseLib::logEvent("cat", "f.cpp", 7, c.level, QStringLiteral("hello"));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.stderrText) << c.name;
        EXPECT_EQ(logger.acceptedCount(), c.accepted ? 1 : 0) << c.name;
        EXPECT_EQ(logger.droppedCount(), c.accepted ? 0 : 1) << c.name;
    }
    EXPECT_EQ(EventLogger::instance(), nullptr);
}
