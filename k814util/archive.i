// Walking a laboratory's archive: the configuration's mission groups and data roots, each TID
// directory's metadata, and whether this process may bind a test of a given mission. The lookups
// are the binding's own (configuration file, data paths, tm.meta search, binding checks), so a
// catalogue names exactly the runs, and the reasons, that binding would meet.

%{
#include <gselib/config814.h>
#include <gselib/tmmeta.h>
#include <k814util/binding.h>

#include <QDateTime>
#include <QFileInfo>
#include <QSettings>
#include <cmath>
#include <limits>

namespace {

PyObject* archiveText(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return PyUnicode_FromStringAndSize(utf8.constData(), utf8.size());
}

// Sets key in dict to value, taking over the value's reference; false when Python failed.
bool archiveSet(PyObject* dict, const char* key, PyObject* value) {
    if (value == nullptr) {
        return false;
    }
    const int status = PyDict_SetItemString(dict, key, value);
    Py_DECREF(value);
    return status == 0;
}

}  // namespace
%}

%inline %{
namespace k814util {

/// The configuration file binding reads: $INI814 when set and not empty, else the home one.
std::string _archive_config_path() {
    return GseLib::Config814::getConfigPath().toStdString();
}

/// (group, data root) of every mission group of the configuration file, in file order; the
/// data root is empty when the group has no "data_root".
PyObject* _archive_data_roots() {
    const QString path = GseLib::Config814::getConfigPath();
    if (!QFileInfo(path).isFile()) {
        throw std::runtime_error("no workstation configuration file at " + path.toStdString());
    }
    const QSettings settings(path, QSettings::IniFormat);
    QStringList groups = settings.childGroups();
    groups.removeAll(GseLib::Config814::GROUP_814);
    PyObject* list = PyList_New(0);
    for (const QString& group : groups) {
        PyObject* pair = Py_BuildValue("(NN)", archiveText(group),
                                       archiveText(GseLib::Config814::getDataRootDir(group)));
        if (pair == nullptr || PyList_Append(list, pair) != 0) {
            Py_XDECREF(pair);
            Py_DECREF(list);
            return nullptr;
        }
        Py_DECREF(pair);
    }
    return list;
}

/// What the tm.meta of a TID directory says, found and read as binding does: valid, mission,
/// model, group, tid, tid_dir and tmfile_name (empty or 0 when not valid).
PyObject* _archive_test_meta(const std::string& directory) {
    const GseLib::TmMeta meta(QString::fromStdString(directory));
    PyObject* dict = PyDict_New();
    const bool valid = meta.isValid();
    if (!archiveSet(dict, "valid", PyBool_FromLong(valid)) ||
        !archiveSet(dict, "mission", archiveText(valid ? meta.mission() : QString())) ||
        !archiveSet(dict, "model", archiveText(valid ? meta.model() : QString())) ||
        !archiveSet(dict, "group", archiveText(valid ? meta.config814Group() : QString())) ||
        !archiveSet(dict, "tid", PyLong_FromLong(valid ? meta.tid() : 0)) ||
        !archiveSet(dict, "tid_dir", archiveText(valid ? meta.tidDir() : QString())) ||
        !archiveSet(dict, "tmfile_name", archiveText(valid ? meta.tmfileName() : QString()))) {
        Py_DECREF(dict);
        return nullptr;
    }
    return dict;
}

/// The start of a test from its TID directory name, in Unix seconds (station time zone); NaN
/// when the name does not begin with a date and time.
double _archive_tid_dir_time(const std::string& name) {
    GseLib::TmMeta meta;
    meta.setTidDir(QString::fromStdString(name));
    const QDateTime start = meta.datetimeFromTidDir();
    if (!start.isValid()) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return double(start.toMSecsSinceEpoch()) / 1000.0;
}

/// The line binding would fail with for the telemetry file, or "" when it would bind; the
/// process's binding and default configuration group stay as they were.
std::string _archive_binding_problem(const std::string& path) {
    return Binding::problemWith(QString::fromStdString(path)).toStdString();
}

/// Whether binding a test of mission here reads it as a process of its own would: plug-ins load
/// once per process, for the first mission bound, so a process that loaded them for another
/// mission would convert this one's values wrongly.
bool _archive_plugins_serve(const std::string& mission) {
    return Binding::pluginsServe(QString::fromStdString(mission));
}

}  // namespace k814util
%}
