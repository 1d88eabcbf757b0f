#include <k814util/pycolumns.h>

#include <k814util/pybufferview.h>
#include <k814util/pycapsule.h>
#include <k814util/pyexceptions.h>

#include <stdexcept>
#include <string>

namespace k814util {

namespace {

constexpr const char* CAPSULE_NAME = "k814util.ColumnTable";

// A new reference, or PythonErrorSet.
PyObject* checked(PyObject* object) {
    if (!object) {
        throw PythonErrorSet();
    }
    return object;
}

// Texts are decoded as every other string the module returns (undecodable bytes kept as
// surrogates rather than failing).
PyObject* textList(const std::vector<std::string>& texts) {
    PyObject* list = checked(PyList_New(Py_ssize_t(texts.size())));
    for (size_t i = 0; i < texts.size(); ++i) {
        PyObject* text =
            PyUnicode_DecodeUTF8(texts[i].data(), Py_ssize_t(texts[i].size()), "surrogateescape");
        if (!text) {
            Py_DECREF(list);
            throw PythonErrorSet();
        }
        PyList_SET_ITEM(list, Py_ssize_t(i), text);
    }
    return list;
}

}  // namespace

PyObject* columnTableToPython(ColumnTable table) {
    return Capsule<ColumnTable>::wrap(std::move(table), CAPSULE_NAME);
}

PyObject* columnLayout(PyObject* table) {
    const ColumnTable& t = Capsule<ColumnTable>::unwrap(table, CAPSULE_NAME);
    PyObject* list = checked(PyList_New(Py_ssize_t(t.columns().size())));
    Py_ssize_t i = 0;
    for (const ColumnTable::Column& column : t.columns()) {
        PyObject* shape = PyTuple_New(Py_ssize_t(column.shape.size()));
        for (size_t axis = 0; shape && axis < column.shape.size(); ++axis) {
            PyObject* extent = PyLong_FromLongLong(column.shape[axis]);
            if (!extent) {
                Py_CLEAR(shape);
                break;
            }
            PyTuple_SET_ITEM(shape, Py_ssize_t(axis), extent);
        }
        PyObject* name =
            shape ? PyUnicode_FromStringAndSize(column.name.data(), Py_ssize_t(column.name.size()))
                  : nullptr;
        if (!name) {
            Py_XDECREF(shape);
        }
        PyObject* entry =
            name ? Py_BuildValue("(NsN)", name, ColumnTable::dtype(column.kind), shape) : nullptr;
        if (!entry) {
            Py_DECREF(list);
            throw PythonErrorSet();
        }
        PyList_SET_ITEM(list, i++, entry);
    }
    return list;
}

PyObject* columnData(PyObject* table) {
    const ColumnTable& t = Capsule<ColumnTable>::unwrap(table, CAPSULE_NAME);
    const auto& columns = t.columns();
    PyObject* out = checked(PyList_New(Py_ssize_t(columns.size())));
    try {
        for (size_t i = 0; i < columns.size(); ++i) {
            const ColumnTable::Column& column = columns[i];
            PyObject* value =
                column.kind == ColumnTable::Kind::Text
                    ? textList(column.texts)
                    : checked(bufferView(column.owner, column.data, column.byteCount));
            PyList_SET_ITEM(out, Py_ssize_t(i), value);
        }
    } catch (...) {
        Py_DECREF(out);
        throw;
    }
    return out;
}

}  // namespace k814util
