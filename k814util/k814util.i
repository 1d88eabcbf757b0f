// The script interface: the extension module _k814util and its proxy module.
%module(package="k814util",
        docstring="Read access to instrument telemetry archives (compiled part).") k814util

%feature("autodoc", "1");
%include "k814util/classdocs.i"

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
#include <k814util/consolequeries.h>
#include <k814util/pyarchive.h>
#include <k814util/pycolumns.h>
#include <k814util/pyexceptions.h>
#include <k814util/pymethoddocs.h>
#include <k814util/wholefiletables.h>
%}

// The container support (and with it the iterator type of the list classes) comes first.
%include <std_vector.i>
%include <std_string.i>
%include <stdint.i>
%include <exception.i>

// Errors of an operation reach the script as exceptions carrying their message: IndexError for
// out-of-range requests, ValueError for arguments the caller got wrong, RuntimeError for
// everything else. The process keeps running.
%exception {
    try {
        $action
    } catch (...) {
        k814util::setPythonException();
        SWIG_fail;
    }
}

%include "k814util/pymsglogline.h"
%include "k814util/pymsglogcache.h"
%include "k814util/pyvireomarker.h"
%include "k814util/pyvireomarkercache.h"

%include "k814util/addons/lists.i"
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
// The proxies' documentation opens with the signature, as the compiled functions' does (SWIG
// indents it under a blank line).
%pythoncode %{
initK814Util.__doc__ = _k814util.initK814Util.__doc__
bindTelemetryFile.__doc__ = _k814util.bindTelemetryFile.__doc__
%}

namespace TarGse {
%immutable;
extern int MIN_META_MARKER_ID;
extern int MAX_META_MARKER_ID;
%mutable;
}

// Every flat function's documentation string opens with its own signature (see
// correctMethodDocs); the method table is corrected once, before anyone reads it.
%init %{
    k814util::correctMethodDocs(SwigMethods);
%}

// ---------------------------------------------------------------------------------------------
// Whole-file results cross as column tables: a capsule the package turns into numpy arrays over
// the tables' own storage (k814util._columns), one conversion for every table.
namespace k814util { class ColumnTable; }
%typemap(out) k814util::ColumnTable {
    $result = k814util::columnTableToPython(std::move($1));
    if (!$result) {
        SWIG_fail;
    }
}

namespace k814util {
%rename(_columns_layout) columnLayout;
%rename(_columns_data) columnData;
PyObject* columnLayout(PyObject* table);
PyObject* columnData(PyObject* table);

%rename(_frames_series) itemSeriesTable;
%rename(_frames_packets) packetTable;
%rename(_frames_items) itemCatalogueTable;
%rename(_frames_tarn_markers) tarnMarkerTable;
%rename(_read_packets) packetHeaderTable;
%rename(_spectra) spectraTable;
ColumnTable itemSeriesTable(int hkid, int mode);
ColumnTable packetTable();
ColumnTable itemCatalogueTable();
ColumnTable tarnMarkerTable();
ColumnTable packetHeaderTable(const std::string& path, int format, bool withBytes,
                              bool syncPrefix);
%feature("compactdefaultargs") spectraTable;
ColumnTable spectraTable(const ScienceDataCacheWrapper& scans, int first, int last,
                         bool arrays = true);
}

%include "k814util/archive.i"
%include "k814util/console.i"
%include "k814util/progress.i"
%include "k814util/limits.i"

// The Pythonic side of each class, written into the class.
%include "k814util/addons/records.i"
%include "k814util/addons/messagelog.i"
%include "k814util/addons/vireomarkers.i"
%include "k814util/addons/tmpacket.i"
%include "k814util/addons/tmfile.i"
%include "k814util/addons/scans.i"
