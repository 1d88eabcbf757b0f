#pragma once

#include <k814util/bindingcheck.h>

#include <QString>
#include <string>

namespace GseLib {
class QuorCoreApp;
}
namespace TarGse {
class TarDataInterpretationFactory;
}
namespace VireoGse {
class VireoDataInterpretationFactory;
}

namespace k814util {

/// Set by the first successful initK814Util; never reset.
extern bool k814utilIsInitialized;
/// The process's application object: logger configuration and, once loaded, the plug-ins.
extern GseLib::QuorCoreApp app;
extern TarGse::TarDataInterpretationFactory tarnDataInterpretationFactory;
extern VireoGse::VireoDataInterpretationFactory vireoDataInterpretationFactory;

/**
 * Binds the process to one telemetry file: test metadata, configuration group, plug-ins (once
 * per process), the mission's interpretation engine and the shared packet cache.
 *
 * Each failure of the checks prints its one line on standard error and ends the process with
 * status 1; this is intended for internal use only. Scripts use the factories of the Python
 * package, which raise an exception instead (Binding::bind).
 */
void initK814Util(std::string telemetryFilename = "");

/// Scripts get no station log client: the libraries' event messages are dropped from then on.
void switchLoggingOff();

/// Loads the plug-ins once per process, filtered to the mission's and the generic makers.
void loadPlugins(const QString& mission);

/**
 * Binds the process to path as initK814Util does, but raises instead of ending the process; for
 * the file already bound, reads what was appended to it since (Binding::bind).
 * @throw BindingFailure with the line initK814Util would print (and what is missing), or the
 * error of the command definitions or of the database
 */
void bindTelemetryFile(const std::string& path);

/**
 * Reads what the station appended to path since the last read when the process is bound to
 * it, else binds the process to it; the number of packets added (Binding::readOn).
 * @throw BindingFailure as bindTelemetryFile does
 */
long long refreshTelemetryFile(const std::string& path, double staleAfter = 5.0);

/// The checks of the test the process is bound to; failure MissingFile with an empty path while
/// unbound.
const BindingCheck& currentBinding();

}  // namespace k814util
