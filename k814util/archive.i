// Walking a laboratory's archive: the configuration's mission groups and data roots, each TID
// directory's metadata, and whether this process may bind a test of a given mission. The lookups
// are the binding's own (configuration file, data paths, tm.meta search, binding checks), so a
// catalogue names exactly the runs, and the reasons, that binding would meet.

namespace k814util {
%rename(_archive_config_path) archiveConfigPath;
%rename(_archive_data_roots) archiveDataRoots;
%rename(_archive_test_meta) archiveTestMeta;
%rename(_archive_tid_dir_time) archiveTidDirTime;
%rename(_archive_binding_problem) archiveBindingProblem;
%rename(_archive_plugins_serve) archivePluginsServe;
std::string archiveConfigPath();
PyObject* archiveDataRoots();
PyObject* archiveTestMeta(const std::string& directory);
double archiveTidDirTime(const std::string& name);
std::string archiveBindingProblem(const std::string& path);
bool archivePluginsServe(const std::string& mission);
}
