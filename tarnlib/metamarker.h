#pragma once

#include <QString>
#include <string>

namespace TarGse {

/**
 * @brief A rule-derived interval of a TARN test, in relative seconds.
 */
struct MetaMarker {
    double startRelativeTimeInSecs = 0.0;
    double endRelativeTimeInSecs = 0.0;
    int metaMarkerId = 0;
    /// Running position among all meta-markers of all rules, set when they are listed.
    int index = 0;
    std::string msg;
};

/// Key names of meta-marker rule files.
namespace MetaMarkerJsonKeys {
inline const QString METAMARKERS = QStringLiteral("meta_markers");
inline const QString TIDS = QStringLiteral("tids");
inline const QString METAMARKER_ID = QStringLiteral("meta_marker_id");
inline const QString METAMARKER_TEXT = QStringLiteral("meta_marker_text");
inline const QString START_CONDITIONS = QStringLiteral("start_conditions");
inline const QString END_CONDITIONS = QStringLiteral("end_conditions");
inline const QString TYPE = QStringLiteral("type");
inline const QString MARKER = QStringLiteral("marker");
inline const QString REGEX = QStringLiteral("regex");
inline const QString CASE_SENSITIVE = QStringLiteral("case_sensitive");
inline const QString OFFSET_IN_SECONDS = QStringLiteral("offset_in_seconds");
inline const QString NUMBER_OF_SECONDS = QStringLiteral("number_of_seconds");
inline const QString SEB_TEST_ENABLED = QStringLiteral("seb_test_enabled");
inline const QString HIGH_VOLTAGE_TEST_ENABLED = QStringLiteral("high_voltage_test_enabled");
inline const QString LASER_EBT_TEST_ENABLED = QStringLiteral("laser_ebt_test_enabled");
inline const QString GC_EBT_TEST_ENABLED = QStringLiteral("gc_ebt_test_enabled");
inline const QString HEATER_TEST_ENABLED = QStringLiteral("heater_test_enabled");
}  // namespace MetaMarkerJsonKeys

/// Trigger types of meta-marker rule files.
namespace MetaMarkerJsonValues {
inline const QString MARKER = QStringLiteral("marker");
inline const QString DURATION = QStringLiteral("duration");
inline const QString NEXT_MARKER = QStringLiteral("next_marker");
inline const QString MESSAGE = QStringLiteral("message");
}  // namespace MetaMarkerJsonValues

inline const QString META_MARKER_RULE_FOLDER_NAME = QStringLiteral("MetaMarkerRules");

}  // namespace TarGse
