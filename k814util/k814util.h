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
 *
 * A failure leaves no half binding: TARN command definitions are read before anything is
 * replaced (the process keeps the binding it had), and whatever fails while the engine and the
 * packet cache are being replaced leaves the process unbound, with neither.
 * @throw std::runtime_error with the line initK814Util would print, or the error of the
 * command definitions or of the database
 */
void bindTelemetryFile(const std::string& path);

/**
 * Reads what the station appended to path since the last read when the process is bound to
 * it, else binds the process to it as bindTelemetryFile does. Returns the number of packets
 * added (every packet of the file for a new binding).
 *
 * The file is read on only when a whole packet waits where the last read stopped (or damage
 * the reader passes over): the reader counts a packet cut short at the end of the file as
 * damage after a few attempts, and polling a file while the station writes it must not use
 * those attempts up. Once the file has kept its size for staleAfter seconds it is read on
 * anyway, so that damage looking like the start of a long packet, or the cut end of a recording
 * that stopped, does not hold back what follows it for good.
 * @throw std::runtime_error with the line initK814Util would print
 */
long long refreshTelemetryFile(const std::string& path, double staleAfter = 5.0);

/// The checks of the test the process is bound to (absolute path, mission, configuration group,
/// patch files); failure MissingFile with an empty path while unbound.
const BindingCheck& currentBinding();

}  // namespace k814util
