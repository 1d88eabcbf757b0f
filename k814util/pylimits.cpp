#include <k814util/pylimits.h>

#include <k814util/limittable.h>
#include <k814util/limitviolations.h>

#include <stdexcept>
#include <string>

namespace k814util {

namespace {

/// A dict filled column by column; owns its reference until released.
class Columns {
public:
    Columns() : dict_(PyDict_New()) {
        if (!dict_) {
            throw std::runtime_error("out of memory for the limit columns");
        }
    }
    ~Columns() { Py_XDECREF(dict_); }
    Columns(const Columns&) = delete;
    Columns& operator=(const Columns&) = delete;

    template <typename T, typename Make>
    void add(const char* name, const std::vector<T>& values, Make make) {
        PyObject* list = PyList_New(Py_ssize_t(values.size()));
        if (!list) {
            throw std::runtime_error("out of memory for the limit columns");
        }
        for (size_t i = 0; i < values.size(); ++i) {
            PyList_SET_ITEM(list, Py_ssize_t(i), make(values[i]));
        }
        const int failed = PyDict_SetItemString(dict_, name, list);
        Py_DECREF(list);
        if (failed) {
            throw std::runtime_error("out of memory for the limit columns");
        }
    }
    void add(const char* name, const std::vector<int>& v) { add(name, v, PyLong_FromLong); }
    void add(const char* name, const std::vector<int64_t>& v) {
        add(name, v, [](int64_t x) { return PyLong_FromLongLong(x); });
    }
    void add(const char* name, const std::vector<double>& v) { add(name, v, PyFloat_FromDouble); }
    void add(const char* name, const std::vector<std::string>& v) {
        add(name, v, [](const std::string& s) {
            return PyUnicode_DecodeUTF8(s.data(), Py_ssize_t(s.size()), "replace");
        });
    }
    void add(const char* name, const std::vector<bool>& v) {
        add(name, v, [](bool b) { return PyBool_FromLong(b); });
    }

    PyObject* release() {
        PyObject* d = dict_;
        dict_ = nullptr;
        return d;
    }

private:
    PyObject* dict_;
};

}  // namespace

PyObject* PyLimits::table() {
    const LimitTable t;
    Columns c;
    c.add("id", t.ids());
    c.add("mnemonic", t.mnemonics());
    c.add("subsystem", t.subsystems());
    c.add("units", t.units());
    for (int n = 1; n <= 2; ++n) {
        const LimitTable::Set& s = t.set(n);
        const std::string k = "_" + std::to_string(n);
        c.add(("value_mode" + k).c_str(), s.valueMode);
        c.add(("comparison" + k).c_str(), s.comparison);
        c.add(("yellow" + k).c_str(), s.yellow);
        c.add(("red" + k).c_str(), s.red);
        c.add(("persistence" + k).c_str(), s.persistence);
    }
    return c.release();
}

PyObject* PyLimits::violations(const std::vector<int>& hkids, bool redOnly) {
    const LimitViolations r(hkids, redOnly);
    Columns c;
    c.add("id", r.ids());
    c.add("mnemonic", r.mnemonics());
    c.add("set", r.sets());
    c.add("level", r.levels());
    c.add("value_mode", r.valueModes());
    c.add("comparison", r.comparisons());
    c.add("limit", r.limits());
    c.add("start_unix", r.startUnix());
    c.add("end_unix", r.endUnix());
    c.add("start_relative", r.startRelative());
    c.add("end_relative", r.endRelative());
    c.add("first_packet", r.firstPackets());
    c.add("last_packet", r.lastPackets());
    c.add("samples", r.samples());
    c.add("worst", r.worst());
    c.add("worst_unix", r.worstUnix());
    c.add("worst_relative", r.worstRelative());
    c.add("open", r.open());
    return c.release();
}

}  // namespace k814util
