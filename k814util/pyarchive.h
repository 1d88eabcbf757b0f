#pragma once

#ifndef PY_SSIZE_T_CLEAN
#define PY_SSIZE_T_CLEAN  // sizes of "#" formats are Py_ssize_t
#endif
#include <Python.h>

#include <string>

namespace k814util {

/**
 * @name Walking a laboratory's archive
 * The configuration's mission groups and data roots and each TID directory's metadata, found
 * with the binding's own lookups (configuration file, data paths, tm.meta search), so a
 * catalogue names exactly the runs that binding would meet.
 * @{
 */

/// The configuration file binding reads: $INI814 when set and not empty, else the home one.
std::string archiveConfigPath();

/**
 * [(group, data root)] of every mission group of the configuration file, in file order; the
 * data root is empty when the group has no "data_root".
 * @throw std::runtime_error when there is no configuration file
 * @throw PythonErrorSet when Python runs out of memory
 */
PyObject* archiveDataRoots();

/**
 * What the tm.meta of a TID directory says, found and read as binding does: a dict of valid,
 * mission, model, group, tid, tid_dir and tmfile_name (empty or 0 when not valid).
 * @throw PythonErrorSet when Python runs out of memory
 */
PyObject* archiveTestMeta(const std::string& directory);

/// The start of a test from its TID directory name, in Unix seconds (station time zone); NaN
/// when the name does not begin with a date and time.
double archiveTidDirTime(const std::string& name);

/// The line binding would fail with for the telemetry file, or "" when it would bind; the
/// process's binding and default configuration group stay as they were.
std::string archiveBindingProblem(const std::string& path);

/// Whether binding a test of mission here reads it as a process of its own would: plug-ins load
/// once per process, for the first mission bound, so a process that loaded them for another
/// mission would convert this one's values wrongly.
bool archivePluginsServe(const std::string& mission);

/// @}

}  // namespace k814util
