#pragma once

#include <QString>
#include <string>

namespace k814util {

/// Set by the first successful initK814Util; never reset.
extern bool k814utilIsInitialized;

/**
 * Binds the process to one telemetry file: test metadata, configuration group, plug-ins (once
 * per process), the mission's interpretation engine and the shared packet cache.
 *
 * Each failure prints its one line on standard error and ends the process with status 1; this
 * is intended for internal use only. Scripts use the factories of the Python package, which
 * raise an exception instead.
 */
void initK814Util(std::string telemetryFilename = "");

/// Loads the plug-ins once per process, filtered to the mission's and the generic makers.
void loadPlugins(const QString& mission);

/**
 * Binds the process to path as initK814Util does, but raises instead of ending the process. When
 * the process is already bound to that file, reads what was appended to it since instead.
 * @throw std::runtime_error with the line initK814Util would print
 */
void bindTelemetryFile(const std::string& path);

}  // namespace k814util
