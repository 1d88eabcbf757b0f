#include <k814util/pyarchive.h>

#include <gselib/config814.h>
#include <gselib/tmmeta.h>
#include <k814util/binding.h>
#include <k814util/pyexceptions.h>

#include <QDateTime>
#include <QFileInfo>
#include <QSettings>
#include <limits>
#include <stdexcept>

namespace k814util {

namespace {

PyObject* text(const QString& s) {
    const QByteArray utf8 = s.toUtf8();
    return PyUnicode_FromStringAndSize(utf8.constData(), utf8.size());
}

// Sets key in dict to value, taking over the value's reference.
void set(PyObject* dict, const char* key, PyObject* value) {
    const int status = value ? PyDict_SetItemString(dict, key, value) : -1;
    Py_XDECREF(value);
    if (status != 0) {
        throw PythonErrorSet();
    }
}

}  // namespace

std::string archiveConfigPath() {
    return GseLib::Config814::getConfigPath().toStdString();
}

PyObject* archiveDataRoots() {
    const QString path = GseLib::Config814::getConfigPath();
    if (!QFileInfo(path).isFile()) {
        throw std::runtime_error("no workstation configuration file at " + path.toStdString());
    }
    const QSettings settings(path, QSettings::IniFormat);
    QStringList groups = settings.childGroups();
    groups.removeAll(GseLib::Config814::GROUP_814);
    PyObject* list = PyList_New(0);
    if (!list) {
        throw PythonErrorSet();
    }
    for (const QString& group : groups) {
        PyObject* pair =
            Py_BuildValue("(NN)", text(group), text(GseLib::Config814::getDataRootDir(group)));
        const int status = pair ? PyList_Append(list, pair) : -1;
        Py_XDECREF(pair);
        if (status != 0) {
            Py_DECREF(list);
            throw PythonErrorSet();
        }
    }
    return list;
}

PyObject* archiveTestMeta(const std::string& directory) {
    const GseLib::TmMeta meta(QString::fromStdString(directory));
    PyObject* dict = PyDict_New();
    if (!dict) {
        throw PythonErrorSet();
    }
    const bool valid = meta.isValid();
    try {
        set(dict, "valid", PyBool_FromLong(valid));
        set(dict, "mission", text(valid ? meta.mission() : QString()));
        set(dict, "model", text(valid ? meta.model() : QString()));
        set(dict, "group", text(valid ? meta.config814Group() : QString()));
        set(dict, "tid", PyLong_FromLong(valid ? meta.tid() : 0));
        set(dict, "tid_dir", text(valid ? meta.tidDir() : QString()));
        set(dict, "tmfile_name", text(valid ? meta.tmfileName() : QString()));
    } catch (...) {
        Py_DECREF(dict);
        throw;
    }
    return dict;
}

double archiveTidDirTime(const std::string& name) {
    GseLib::TmMeta meta;
    meta.setTidDir(QString::fromStdString(name));
    const QDateTime start = meta.datetimeFromTidDir();
    if (!start.isValid()) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return double(start.toMSecsSinceEpoch()) / 1000.0;
}

std::string archiveBindingProblem(const std::string& path) {
    return Binding::problemWith(QString::fromStdString(path)).toStdString();
}

bool archivePluginsServe(const std::string& mission) {
    return Binding::pluginsServe(QString::fromStdString(mission));
}

}  // namespace k814util
