// Walking a laboratory's archive: the configuration's mission groups and data roots, each TID
// directory's metadata, and whether this process may bind a test of a given mission. The lookups
// are the binding's own (configuration file, data paths, tm.meta search, binding checks), so a
// catalogue names exactly the runs, and the reasons, that binding would meet.

%{
#include <gselib/config814.h>
#include <gselib/quorcoreapp.h>
#include <gselib/tmmeta.h>
#include <k814util/bindingcheck.h>
#include <tools/logger/loggerconfig.h>
#include <tools/util/pluginmanager.h>


namespace k814util {
extern GseLib::QuorCoreApp app;
}

namespace {

// Reading the archive must not change what the process is bound to: the default configuration
// group (which later lookups of the bound test use) is put back, and the messages of
// configuration changes are dropped, as they are for every binding.
class DefaultGroupKept {
public:
    DefaultGroupKept() : group_(GseLib::Config814::getDefaultGroup()) {
        k814util::app.initializeLogger(LoggerConfig::noLogging());
    }
    ~DefaultGroupKept() {
        if (GseLib::Config814::getDefaultGroup() != group_) {
            GseLib::Config814::setDefaultGroup(group_);
        }
    }
    DefaultGroupKept(const DefaultGroupKept&) = delete;
    DefaultGroupKept& operator=(const DefaultGroupKept&) = delete;

private:
    QString group_;
};

}  // namespace
%}

namespace k814util {
%rename(_archive_config_path) archiveConfigPath;
%rename(_archive_data_roots) archiveDataRoots;
%rename(_archive_test_meta) archiveTestMeta;
%rename(_archive_tid_dir_time) archiveTidDirTime;
std::string archiveConfigPath();
PyObject* archiveDataRoots();
PyObject* archiveTestMeta(const std::string& directory);
double archiveTidDirTime(const std::string& name);
}

%inline %{
namespace k814util {

/// The line binding would fail with for the telemetry file, or "" when it would bind; the
/// process's binding and default configuration group stay as they were.
std::string _archive_binding_problem(const std::string& path) {
    const DefaultGroupKept kept;
    return BindingCheck::check(QString::fromStdString(path), true).message.toStdString();
}

/// Whether binding a test of mission here reads it as a process of its own would: plug-ins load
/// once per process, for the first mission bound, so a process that loaded them for another
/// mission would convert this one's values wrongly.
bool _archive_plugins_serve(const std::string& mission) {
    const PluginManager* plugins = app.pluginManager();
    return plugins == nullptr || plugins->matchesFilter(QString::fromStdString(mission) + "Maker");
}

}  // namespace k814util
%}
