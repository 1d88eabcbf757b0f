#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

namespace k814util {

/**
 * @brief What the console shows about a test, as JSON: its metadata and configuration, the
 * packets of the bound file by type, and its SEB command sequences with decoded fields.
 *
 * The compiled console tool prints these and the Python package hands them to scripts, so both
 * say the same about a test.
 */
class TestReport {
public:
    /**
     * The test metadata and configuration of the telemetry file at path, without reading its
     * packets: "file", "size", "meta" (tm.meta's fields, annotations, start time), "config" and
     * "group", "paths" (each configured path with whether it is required and exists). When the
     * file cannot be bound, only "error" (the line binding would print) and "failure".
     */
    static QJsonObject testInfo(const QString& path);

    /// The bound file's packet count, time span, T0 and clock state, and "types": the count of
    /// each full packet type with the catalogue's name (null when the catalogue lacks it).
    static QJsonObject packetSummary();

    /**
     * The SEB command sequences of the bound file's sequence packets (none unless it is a TARN
     * test), each with its time, packets, size, unfinished bytes and commands, each command
     * with its number, name, bytes (hexadecimal) and decoded fields.
     */
    static QJsonArray sebSequences();
};

}  // namespace k814util
