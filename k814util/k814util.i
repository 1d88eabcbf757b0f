// The script interface: the extension module _k814util and its proxy module.
%module(package="k814util",
        docstring="Read access to instrument telemetry archives (compiled part).") k814util

%feature("autodoc", "1");

%{
#include <k814util/interpretscanvalue.h>
#include <k814util/k814util.h>
#include <k814util/pythonstyletarnscan.h>
#include <k814util/rfstatusentry.h>
#include <k814util/sciencedatacachewrapper.h>
#include <k814util/pymsglogcache.h>
#include <k814util/pymsglogline.h>
#include <k814util/pyvireomarker.h>
#include <k814util/pyvireomarkercache.h>
#include <k814util/tmdatapoint.h>
#include <k814util/tmfile.h>
#include <k814util/tmpacket.h>
#include <tarnlib/metamarker.h>
#include <tarnlib/metamarkerids.h>
%}

// The container support (and with it the iterator type of the list classes) comes first.
%include <std_vector.i>
%include <std_string.i>
%include <stdint.i>
%include <exception.i>

// Errors of an operation reach the script as exceptions carrying their message: index errors
// for out-of-range requests, runtime errors for everything else. The process keeps running.
%exception {
    try {
        $action
    } catch (const std::out_of_range& e) {
        SWIG_exception(SWIG_IndexError, e.what());
    } catch (const std::exception& e) {
        SWIG_exception(SWIG_RuntimeError, e.what());
    }
}

%include "k814util/pymsglogline.h"
%include "k814util/pymsglogcache.h"
%include "k814util/pyvireomarker.h"
%include "k814util/pyvireomarkercache.h"

%template(ListOfIntegers) std::vector<int>;
%template(ListOfFloats) std::vector<double>;

// The list types come before their element classes, as scripts have always seen them.
namespace k814util { struct TMDatapoint; struct RfStatusEntry; }
namespace TarGse { struct MetaMarker; }
%template(ListOfRfStatusEntrys) std::vector<k814util::RfStatusEntry>;
%template(ListOfTMDatapoints) std::vector<k814util::TMDatapoint>;
%template(ListOfMetaMarkers) std::vector<TarGse::MetaMarker>;

// A list returned by value reaches the script as an object of its list type, owned by the
// script object, with every list operation; left alone, SWIG would copy it into a tuple. The
// vector is moved, not copied, into the object.
%define K814_RETURN_AS_LIST(ELEMENT)
%typemap(out) std::vector<ELEMENT> {
    $result = SWIG_NewPointerObj(new std::vector<ELEMENT>(std::move($1)),
                                 $descriptor(std::vector<ELEMENT>*), SWIG_POINTER_OWN);
}
%enddef
K814_RETURN_AS_LIST(int)
K814_RETURN_AS_LIST(double)
K814_RETURN_AS_LIST(k814util::RfStatusEntry)
K814_RETURN_AS_LIST(k814util::TMDatapoint)
K814_RETURN_AS_LIST(TarGse::MetaMarker)

// Meta-markers as the rule files define them.
%ignore TarGse::MetaMarkerJsonKeys;
%ignore TarGse::MetaMarkerJsonValues;
%ignore TarGse::META_MARKER_RULE_FOLDER_NAME;
%include "tarnlib/metamarker.h"
%include "k814util/tmdatapoint.h"
%include "k814util/rfstatusentry.h"

// Scans: built by the wrapper from the bound file, snapshots handed out by index.
%ignore k814util::PythonStyleTarnScan::PythonStyleTarnScan(const TarGse::ScanData*,
                                                           const TarGse::MarkerCache*,
                                                           QSharedPointer<TarGse::MassCal>, bool);
%include "k814util/pythonstyletarnscan.h"
%feature("compactdefaultargs") k814util::ScienceDataCacheWrapper::ScienceDataCacheWrapper;
%include "k814util/sciencedatacachewrapper.h"

// Packets come only from TMFile.get_pkt; the marker record is internal.
%ignore TarGse::MarkerData;
%ignore TarGse::MarkerCache;
%ignore TarGse::compareMarkersByTimestamp;
%ignore TarGse::getQuipUmkid;
%include "k814util/tmpacket.h"
%include "k814util/tmfile.h"

%include "k814util/interpretscanvalue.h"

namespace k814util {
// One wrapper with the defaults in its signature rather than overloads.
%feature("compactdefaultargs") initK814Util;
%feature("docstring", "This function is intended for internal use only.") initK814Util;
void initK814Util(std::string telemetryFilename = "");
}
%include "k814util/binding.i"

namespace TarGse {
%immutable;
extern int MIN_META_MARKER_ID;
extern int MAX_META_MARKER_ID;
%mutable;
}

// Every flat function's documentation string opens with its own signature. SWIG misses that in
// two places: a function with a written description gets a string that opens with a newline, and
// a constructor's argument-less (or defaulted) form is written as the proxy class's call,
// "TMDatapoint()", rather than "new_TMDatapoint() -> TMDatapoint". The method table is corrected
// once, before anyone reads it; the corrected texts live as long as the module.
%{
#include <deque>
#include <sstream>
%}
%init %{
    {
        static std::deque<std::string> corrected;
        for (PyMethodDef* method = SwigMethods; method->ml_name != nullptr; ++method) {
            if (method->ml_doc == nullptr) {
                continue;
            }
            const char* doc = method->ml_doc[0] == '\n' ? method->ml_doc + 1 : method->ml_doc;
            const std::string name = method->ml_name;
            if (name.rfind("new_", 0) == 0) {
                const std::string cls = name.substr(4);
                std::istringstream in(doc);
                std::string line;
                std::string text;
                bool changed = false;
                while (std::getline(in, line)) {
                    if (line.rfind(cls + "(", 0) == 0 && line.find(" -> ") == std::string::npos) {
                        line = "new_" + line + " -> " + cls;
                        changed = true;
                    }
                    text += line + "\n";
                }
                if (changed) {
                    corrected.push_back(text);
                    doc = corrected.back().c_str();
                }
            }
            method->ml_doc = doc;
        }
    }
%}

// ---------------------------------------------------------------------------------------------
// Spectra as arrays. The package allocates the arrays (numpy) after asking for their shapes;
// these functions fill them in place through the buffer protocol, so a whole file reaches
// numpy without a per-scan or per-bin step in Python and without a copy.
%{
#include <k814util/spectraarrays.h>

#include <stdexcept>
#include <string>

namespace k814util {
namespace {

// A writable, C-contiguous buffer of the expected element kind and shape, released when it
// goes out of scope. kind is 'i' (signed integers) or 'f' (floating point).
class SpectraBuffer {
public:
    SpectraBuffer(PyObject* object, const char* name, char kind, Py_ssize_t itemsize,
                  std::initializer_list<Py_ssize_t> shape) {
        if (PyObject_GetBuffer(object, &view_, PyBUF_WRITABLE | PyBUF_C_CONTIGUOUS |
                                                   PyBUF_FORMAT) != 0) {
            PyErr_Clear();
            throw std::invalid_argument(std::string(name) +
                                        ": expected a writable C-contiguous array");
        }
        held_ = true;
        const std::string format = view_.format ? view_.format : "B";
        // Native order and size, as numpy describes its own arrays.
        const std::string code =
            !format.empty() && (format[0] == '@' || format[0] == '=') ? format.substr(1) : format;
        const bool kindOk = kind == 'f' ? code == "d"
                                        : (code == "i" || code == "l" || code == "q");
        if (!kindOk || view_.itemsize != itemsize) {
            throw std::invalid_argument(std::string(name) + ": wrong element type '" + format +
                                        "'");
        }
        if (view_.ndim != Py_ssize_t(shape.size())) {
            throw std::invalid_argument(std::string(name) + ": wrong number of dimensions");
        }
        Py_ssize_t axis = 0;
        for (Py_ssize_t extent : shape) {
            if (extent >= 0 && view_.shape[axis] != extent) {
                throw std::invalid_argument(std::string(name) + ": wrong shape");
            }
            ++axis;
        }
    }
    ~SpectraBuffer() {
        if (held_) {
            PyBuffer_Release(&view_);
        }
    }
    SpectraBuffer(const SpectraBuffer&) = delete;
    SpectraBuffer& operator=(const SpectraBuffer&) = delete;

    template <typename T>
    T* data() const {
        return static_cast<T*>(view_.buf);
    }
    Py_ssize_t extent(int axis) const { return view_.shape[axis]; }

private:
    Py_buffer view_{};
    bool held_ = false;
};

}  // namespace
}  // namespace k814util
%}

// Wrong arrays are the caller's mistake: a ValueError, not a runtime error.
%define K814_SPECTRA_EXCEPTIONS(NAME)
%exception NAME {
    try {
        $action
    } catch (const std::out_of_range& e) {
        SWIG_exception(SWIG_IndexError, e.what());
    } catch (const std::invalid_argument& e) {
        SWIG_exception(SWIG_ValueError, e.what());
    } catch (const std::exception& e) {
        SWIG_exception(SWIG_RuntimeError, e.what());
    }
}
%enddef
K814_SPECTRA_EXCEPTIONS(k814util::_spectra_counted_bins)
K814_SPECTRA_EXCEPTIONS(k814util::_spectra_fill_arrays)
K814_SPECTRA_EXCEPTIONS(k814util::_spectra_fill_table)
K814_SPECTRA_EXCEPTIONS(k814util::_spectra_whole_counts)

%feature("docstring",
         "Internal: writes the number of counted bins of scans first..last-1 to the int64 "
         "array n_bins and returns the largest.") k814util::_spectra_counted_bins;
%feature("docstring",
         "Internal: fills the zeroed counts array (int32, or float64 when real) and the float64 "
         "m/z array (scans x width; every entry written, NaN past the counted bins) of scans "
         "first..last-1.") k814util::_spectra_fill_arrays;
%feature("docstring",
         "Internal: whether every count of scans first..last-1 is a whole number.") k814util::_spectra_whole_counts;
%feature("docstring",
         "Internal: fills the table columns (float64 scans x 4, int64 scans x 8) of scans "
         "first..last-1 and returns their marker texts (markers as the scans find them).") k814util::_spectra_fill_table;

// The marker texts are decoded like every other string the module returns.
%fragment("SWIG_From_std_string");

%inline %{
namespace k814util {

long long _spectra_counted_bins(const ScienceDataCacheWrapper& scans, int first, int last,
                                PyObject* n_bins) {
    const SpectraArrays arrays(scans.cache(), scans.massCal().data(), first, last);
    const SpectraBuffer out(n_bins, "n_bins", 'i', 8, {Py_ssize_t(arrays.rows())});
    std::copy(arrays.countedBins().begin(), arrays.countedBins().end(), out.data<int64_t>());
    return arrays.width();
}

void _spectra_fill_arrays(const ScienceDataCacheWrapper& scans, int first, int last,
                          PyObject* counts, PyObject* mz, bool real) {
    const SpectraArrays arrays(scans.cache(), scans.massCal().data(), first, last);
    const Py_ssize_t rows = arrays.rows();
    const SpectraBuffer mzOut(mz, "mz", 'f', 8, {rows, -1});
    if (real) {
        const SpectraBuffer countsOut(counts, "counts", 'f', 8, {rows, mzOut.extent(1)});
        arrays.fillCounts(countsOut.data<double>(), countsOut.extent(1));
    } else {
        const SpectraBuffer countsOut(counts, "counts", 'i', 4, {rows, mzOut.extent(1)});
        arrays.fillCounts(countsOut.data<int32_t>(), countsOut.extent(1));
    }
    arrays.fillMz(mzOut.data<double>(), mzOut.extent(1));
}

bool _spectra_whole_counts(const ScienceDataCacheWrapper& scans, int first, int last) {
    return SpectraArrays(scans.cache(), scans.massCal().data(), first, last).wholeCounts();
}

PyObject* _spectra_fill_table(const ScienceDataCacheWrapper& scans, int first, int last,
                              PyObject* reals, PyObject* ints) {
    const SpectraArrays arrays(scans.cache(), scans.massCal().data(), first, last);
    const Py_ssize_t rows = arrays.rows();
    const SpectraBuffer realsOut(reals, "reals", 'f', 8,
                                 {rows, Py_ssize_t(SpectraArrays::RealColumnCount)});
    const SpectraBuffer intsOut(ints, "ints", 'i', 8,
                                {rows, Py_ssize_t(SpectraArrays::IntColumnCount)});
    // The markers as the wrapper's scan objects find them.
    const std::vector<std::string> texts =
        arrays.fillTable(realsOut.data<double>(), intsOut.data<int64_t>(), scans.markerCache(),
                         scans.skipZeroIdMarkers());
    PyObject* list = PyList_New(Py_ssize_t(texts.size()));
    if (!list) {
        throw std::runtime_error("out of memory for the marker texts");
    }
    for (size_t i = 0; i < texts.size(); ++i) {
        PyList_SET_ITEM(list, Py_ssize_t(i), SWIG_From_std_string(texts[i]));
    }
    return list;
}

}  // namespace k814util
%}

// ---------------------------------------------------------------------------------------------
// Whole-file tables. Each is computed in C++ in one pass over the shared cache; the package
// allocates numpy arrays of the reported size and these functions fill them through the buffer
// protocol (the one copy), so no Python runs per packet or per value. The small tables (items,
// markers) come back as lists of tuples.
%{
#include <gselib/datainterpretation.h>
#include <gselib/telemetryfile.h>
#include <gselib/tmdatabase.h>
#include <k814util/itemseries.h>
#include <k814util/packettable.h>
#include <tarnlib/markercache.h>

#include <algorithm>
#include <memory>
%}

K814_SPECTRA_EXCEPTIONS(k814util::_frames_series)
K814_SPECTRA_EXCEPTIONS(k814util::_frames_fill_series)
K814_SPECTRA_EXCEPTIONS(k814util::_frames_series_texts)
K814_SPECTRA_EXCEPTIONS(k814util::_frames_packets)
K814_SPECTRA_EXCEPTIONS(k814util::_frames_fill_packets)
K814_SPECTRA_EXCEPTIONS(k814util::_frames_items)
K814_SPECTRA_EXCEPTIONS(k814util::_frames_tarn_markers)

// The computed columns wait in a capsule (no class of their own in the module) until the
// package has allocated arrays of their size.
%{
namespace k814util {
namespace {

constexpr const char* ITEM_SERIES_CAPSULE = "k814util.ItemSeries";
constexpr const char* PACKET_TABLE_CAPSULE = "k814util.PacketTable";

template <typename T>
void deleteCapsule(PyObject* capsule, const char* name) {
    delete static_cast<T*>(PyCapsule_GetPointer(capsule, name));
}

template <typename T>
PyObject* toCapsule(std::unique_ptr<T> held, const char* name, PyCapsule_Destructor destructor) {
    PyObject* capsule = PyCapsule_New(held.get(), name, destructor);
    if (!capsule) {
        throw std::runtime_error("out of memory for the columns");
    }
    held.release();
    return capsule;
}

template <typename T>
const T& fromCapsule(PyObject* capsule, const char* name) {
    void* held = PyCapsule_IsValid(capsule, name) ? PyCapsule_GetPointer(capsule, name) : nullptr;
    if (!held) {
        throw std::invalid_argument(std::string("expected the capsule ") + name);
    }
    return *static_cast<const T*>(held);
}

}  // namespace
}  // namespace k814util
%}

%inline %{
namespace k814util {

// (columns, number of values, whether they are texts) of item hkid in mode.
PyObject* _frames_series(int hkid, int mode) {
    auto series = std::make_unique<ItemSeries>(hkid, mode);
    const long long size = series->size();
    const bool text = series->is_text();
    PyObject* capsule = toCapsule(std::move(series), ITEM_SERIES_CAPSULE, [](PyObject* c) {
        deleteCapsule<ItemSeries>(c, ITEM_SERIES_CAPSULE);
    });
    return Py_BuildValue("(NLN)", capsule, size, PyBool_FromLong(text));
}

void _frames_fill_series(PyObject* columns, PyObject* unix_time, PyObject* relative_time,
                         PyObject* value, PyObject* packet) {
    const ItemSeries& series = fromCapsule<ItemSeries>(columns, ITEM_SERIES_CAPSULE);
    const Py_ssize_t n = Py_ssize_t(series.size());
    const SpectraBuffer unixOut(unix_time, "unix_time", 'f', 8, {n});
    const SpectraBuffer relativeOut(relative_time, "relative_time", 'f', 8, {n});
    const SpectraBuffer valueOut(value, "value", 'f', 8, {n});
    const SpectraBuffer packetOut(packet, "packet", 'i', 8, {n});
    std::copy(series.unixTimes().begin(), series.unixTimes().end(), unixOut.data<double>());
    std::copy(series.relativeTimes().begin(), series.relativeTimes().end(),
              relativeOut.data<double>());
    std::copy(series.values().begin(), series.values().end(), valueOut.data<double>());
    std::copy(series.packets().begin(), series.packets().end(), packetOut.data<int64_t>());
}

PyObject* _frames_series_texts(PyObject* columns) {
    const std::vector<std::string>& texts =
        fromCapsule<ItemSeries>(columns, ITEM_SERIES_CAPSULE).texts();
    PyObject* list = PyList_New(Py_ssize_t(texts.size()));
    if (!list) {
        throw std::runtime_error("out of memory for the texts");
    }
    for (size_t i = 0; i < texts.size(); ++i) {
        PyList_SET_ITEM(list, Py_ssize_t(i), SWIG_From_std_string(texts[i]));
    }
    return list;
}

// (columns, number of packets) of every packet of the file.
PyObject* _frames_packets() {
    auto table = std::make_unique<PacketTable>();
    const long long size = table->size();
    PyObject* capsule = toCapsule(std::move(table), PACKET_TABLE_CAPSULE, [](PyObject* c) {
        deleteCapsule<PacketTable>(c, PACKET_TABLE_CAPSULE);
    });
    return Py_BuildValue("(NL)", capsule, size);
}

// Fills the int64 (packets x 10) and float64 (packets x 2) columns; returns the type names.
PyObject* _frames_fill_packets(PyObject* columns, PyObject* ints, PyObject* reals) {
    const PacketTable& table = fromCapsule<PacketTable>(columns, PACKET_TABLE_CAPSULE);
    const Py_ssize_t n = Py_ssize_t(table.size());
    const SpectraBuffer intsOut(ints, "ints", 'i', 8, {n, Py_ssize_t(PacketTable::IntColumnCount)});
    const SpectraBuffer realsOut(reals, "reals", 'f', 8,
                                 {n, Py_ssize_t(PacketTable::RealColumnCount)});
    std::copy(table.intColumns().begin(), table.intColumns().end(), intsOut.data<int64_t>());
    std::copy(table.realColumns().begin(), table.realColumns().end(), realsOut.data<double>());
    PyObject* list = PyList_New(n);
    if (!list) {
        throw std::runtime_error("out of memory for the type names");
    }
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyList_SET_ITEM(list, i, SWIG_From_std_string(table.typeNames()[size_t(i)]));
    }
    return list;
}

// (id, mnemonic, subsystem, name, packet type, raw units, eng units, sci units, description)
// of every database item, by id.
PyObject* _frames_items() {
    const GseLib::DataInterpretation* di = GseLib::DataInterpretation::current();
    const GseLib::TelemetryDatabase* db = di->db();
    QList<uint32_t> ids = db ? db->allIds() : QList<uint32_t>();
    std::sort(ids.begin(), ids.end());
    PyObject* list = PyList_New(Py_ssize_t(ids.size()));
    if (!list) {
        throw std::runtime_error("out of memory for the items");
    }
    auto text = [](const QByteArray& bytes) {
        return SWIG_From_std_string(std::string(bytes.constData(), size_t(bytes.size())));
    };
    auto qtext = [](const QString& s) { return SWIG_From_std_string(s.toStdString()); };
    for (qsizetype i = 0; i < ids.size(); ++i) {
        const GseLib::TmDatabaseRow& row = db->row(ids[i]);
        PyList_SET_ITEM(
            list, Py_ssize_t(i),
            Py_BuildValue("(kNNNkNNNN)", static_cast<unsigned long>(ids[i]), text(row.key),
                          text(row.sub_system), text(row.signal_name),
                          static_cast<unsigned long>(row.packet_type), qtext(row.units(Gse::ValueMode::Raw)),
                          qtext(row.units(Gse::ValueMode::Eng)), qtext(row.units(Gse::ValueMode::Sci)),
                          text(row.description)));
    }
    return list;
}

// (marker index, packet index, marker id, raw timestamp, relative time, unix time, text) of
// every TARN marker packet, in time order.
PyObject* _frames_tarn_markers() {
    GseLib::TelemetryFile cursor;
    TarGse::MarkerCache markers(&cursor);
    markers.refresh();
    const QList<TarGse::MarkerData>& all = markers.markers();
    PyObject* list = PyList_New(Py_ssize_t(all.size()));
    if (!list) {
        throw std::runtime_error("out of memory for the markers");
    }
    for (qsizetype i = 0; i < all.size(); ++i) {
        const TarGse::MarkerData& m = all[i];
        PyList_SET_ITEM(list, Py_ssize_t(i),
                        Py_BuildValue("(kiKKddN)", static_cast<unsigned long>(m.markerIndex),
                                      m.packetIndex, static_cast<unsigned long long>(m.markerId),
                                      static_cast<unsigned long long>(m.rawTimestamp),
                                      m.relativeTime, m.unixTime,
                                      SWIG_From_std_string(std::string(m.text))));
    }
    return list;
}

}  // namespace k814util
%}

// ---------------------------------------------------------------------------------------------
// Packet headers of any TOM or CCSDS file, without a test directory or database. The table is
// read in C++ into a capsule; the package allocates the arrays of the reported sizes and
// _read_packets_fill copies the columns (and, when asked for, the packets' bytes) into them.
%{
#include <k814util/packetheadertable.h>

#include <cstring>

namespace k814util {
namespace {

constexpr const char* PACKET_HEADER_CAPSULE = "k814util.PacketHeaderTable";

// A writable, C-contiguous, one-dimensional buffer of count elements of itemsize bytes,
// released when it goes out of scope.
class PacketColumn {
public:
    PacketColumn(PyObject* object, const char* name, Py_ssize_t itemsize, Py_ssize_t count) {
        if (PyObject_GetBuffer(object, &view_, PyBUF_WRITABLE | PyBUF_C_CONTIGUOUS) != 0) {
            PyErr_Clear();
            throw std::invalid_argument(std::string(name) +
                                        ": expected a writable C-contiguous array");
        }
        if (view_.itemsize != itemsize || view_.len != itemsize * count) {
            PyBuffer_Release(&view_);
            throw std::invalid_argument(std::string(name) + ": wrong element size or length");
        }
    }
    ~PacketColumn() { PyBuffer_Release(&view_); }
    PacketColumn(const PacketColumn&) = delete;
    PacketColumn& operator=(const PacketColumn&) = delete;

    template <typename T>
    T* data() const {
        return static_cast<T*>(view_.buf);
    }

private:
    Py_buffer view_{};
};

}  // namespace
}  // namespace k814util
%}

K814_SPECTRA_EXCEPTIONS(k814util::_read_packets_table)
K814_SPECTRA_EXCEPTIONS(k814util::_read_packets_fill)

%inline %{
namespace k814util {

// (table, number of packets, number of bytes kept, diagnostic lines) of the file at path.
PyObject* _read_packets_table(const std::string& path, int format, bool with_bytes,
                              bool sync_prefix) {
    auto table = std::make_unique<PacketHeaderTable>(path, format, with_bytes, sync_prefix);
    const long long size = static_cast<long long>(table->size());
    const long long bytes = static_cast<long long>(table->bytes().size());
    const std::vector<std::string>& lines = table->diagnostics();
    PyObject* diagnostics = PyList_New(Py_ssize_t(lines.size()));
    if (!diagnostics) {
        throw std::runtime_error("out of memory for the diagnostics");
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        PyList_SET_ITEM(diagnostics, Py_ssize_t(i), SWIG_From_std_string(lines[i]));
    }
    PyObject* capsule = PyCapsule_New(table.get(), PACKET_HEADER_CAPSULE, [](PyObject* c) {
        delete static_cast<PacketHeaderTable*>(PyCapsule_GetPointer(c, PACKET_HEADER_CAPSULE));
    });
    if (!capsule) {
        Py_DECREF(diagnostics);
        throw std::runtime_error("out of memory for the columns");
    }
    table.release();
    return Py_BuildValue("(NLLN)", capsule, size, bytes, diagnostics);
}

// Fills the columns (offset int64, length int32, type and sequence count uint16, sequence
// flags and secondary-header flag uint8 or bool, raw timestamp uint32, each as long as the
// table) and data (uint8, every packet's bytes, or None when they were not kept).
void _read_packets_fill(PyObject* table, PyObject* offset, PyObject* length, PyObject* type,
                        PyObject* sequence_count, PyObject* sequence_flags,
                        PyObject* secondary_header, PyObject* raw_timestamp, PyObject* data) {
    void* held = PyCapsule_IsValid(table, PACKET_HEADER_CAPSULE)
                     ? PyCapsule_GetPointer(table, PACKET_HEADER_CAPSULE)
                     : nullptr;
    if (!held) {
        throw std::invalid_argument(std::string("expected the capsule ") + PACKET_HEADER_CAPSULE);
    }
    const PacketHeaderTable& t = *static_cast<const PacketHeaderTable*>(held);
    const Py_ssize_t n = Py_ssize_t(t.size());
    const PacketColumn offsetOut(offset, "offset", 8, n);
    const PacketColumn lengthOut(length, "length", 4, n);
    const PacketColumn typeOut(type, "type", 2, n);
    const PacketColumn sequenceOut(sequence_count, "sequence_count", 2, n);
    const PacketColumn flagsOut(sequence_flags, "sequence_flags", 1, n);
    const PacketColumn secondaryOut(secondary_header, "secondary_header", 1, n);
    const PacketColumn timestampOut(raw_timestamp, "raw_timestamp", 4, n);
    t.copyColumns(offsetOut.data<int64_t>(), lengthOut.data<int32_t>(), typeOut.data<uint16_t>(),
                  sequenceOut.data<uint16_t>(), flagsOut.data<uint8_t>(),
                  secondaryOut.data<uint8_t>(), timestampOut.data<uint32_t>());
    if (data != Py_None) {
        const PacketColumn dataOut(data, "data", 1, Py_ssize_t(t.bytes().size()));
        if (!t.bytes().empty()) {
            std::memcpy(dataOut.data<uint8_t>(), t.bytes().data(), t.bytes().size());
        }
    }
}

}  // namespace k814util
%}
%include "k814util/archive.i"
%include "k814util/console.i"
%include "k814util/progress.i"
%include "k814util/limits.i"
