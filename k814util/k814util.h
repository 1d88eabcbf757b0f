#pragma once

#include <k814util/bindingcheck.h>

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

/// Scripts get no station log client: the libraries' event messages are dropped from then on.
void switchLoggingOff();

/// Loads the plug-ins once per process, filtered to the mission's and the generic makers.
void loadPlugins(const QString& mission);

/**
 * Binds the process to path as initK814Util does, but raises instead of ending the process. When
 * the process is already bound to that file, reads what was appended to it since instead.
 * @throw std::runtime_error with the line initK814Util would print
 */
void bindTelemetryFile(const std::string& path);

/**
 * Reads what the station appended to path since the last read when the process is bound to
 * it, else binds the process to it as bindTelemetryFile does. Returns the number of packets
 * added (every packet of the file for a new binding).
 *
 * The file is read on only when its size changed since the last read: the reader counts a
 * packet cut short at the end of the file as damage after a few attempts, and polling a file
 * the station has not written to since must not use those attempts up.
 * @throw std::runtime_error with the line initK814Util would print
 */
long long refreshTelemetryFile(const std::string& path);

/// The checks of the test the process is bound to (absolute path, mission, configuration group,
/// patch files); failure MissingFile with an empty path while unbound.
const BindingCheck& currentBinding();

}  // namespace k814util
