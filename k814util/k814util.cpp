// The module's process-wide state, and the documented entry points over the binding owner.

#include <k814util/k814util.h>

#include <gselib/quorcoreapp.h>
#include <k814util/binding.h>
#include <plugins/plugins.h>
#include <tarnlib/tardatainterpretation.h>
#include <tools/logger/diagnostics.h>
#include <tools/logger/loggerconfig.h>
#include <vireolib/vireodatainterpretation.h>

#include <QRegularExpression>
#include <cstdlib>

// The built-in makers are linked in statically; register them before anything can ask for them.
K814_IMPORT_BUILTIN_PLUGINS()

namespace k814util {

int argc = 0;
GseLib::QuorCoreApp app(argc, nullptr, 0, 0, 0, QString());
TarGse::TarDataInterpretationFactory tarnDataInterpretationFactory;
VireoGse::VireoDataInterpretationFactory vireoDataInterpretationFactory;

void switchLoggingOff() {
    static bool off = false;
    if (!off) {
        app.initializeLogger(LoggerConfig::noLogging());
        off = true;
    }
}

void loadPlugins(const QString& mission) {
    if (app.pluginManager()) {
        return;
    }
    const QList<QRegularExpression> filters = {
        QRegularExpression(QRegularExpression::wildcardToRegularExpression(mission + "*"),
                           QRegularExpression::CaseInsensitiveOption),
        QRegularExpression(QRegularExpression::wildcardToRegularExpression("Generic*"),
                           QRegularExpression::CaseInsensitiveOption)};
    app.loadPlugins(QStringList(), filters);
}

void initK814Util(std::string telemetryFilename) {
    try {
        Binding::instance().bindAsInitialisation(QString::fromStdString(telemetryFilename));
    } catch (const BindingFailure& failure) {
        // The documented line alone: what is missing is for the raising API's callers.
        GseLib::Diagnostics::fatal(GseLib::Diagnostics::Kind::Binding,
                                   failure.line().toLocal8Bit().toStdString());
        std::exit(1);
    }
}

void bindTelemetryFile(const std::string& path) {
    Binding::instance().bind(QString::fromStdString(path));
}

long long refreshTelemetryFile(const std::string& path, double staleAfter) {
    return Binding::instance().readOn(QString::fromStdString(path), staleAfter);
}

const BindingCheck& currentBinding() {
    return Binding::instance().current();
}

}  // namespace k814util
