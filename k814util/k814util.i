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
// One wrapper with the default in its signature rather than two overloads.
%feature("compactdefaultargs") initK814Util;
%feature("docstring", "This function is intended for internal use only.") initK814Util;
void initK814Util(std::string telemetryFilename = "");
%feature("docstring",
         "Binds the process to a telemetry file like initK814Util, raising RuntimeError with "
         "the same message instead of ending the process; for the file already bound, reads "
         "what was appended since.") bindTelemetryFile;
void bindTelemetryFile(const std::string& path);
}

namespace TarGse {
%immutable;
extern int MIN_META_MARKER_ID;
extern int MAX_META_MARKER_ID;
%mutable;
}

// A function with a written description gets a multi-line documentation string, which SWIG opens
// with a newline. Scripts (and help()) expect every string to open with the signature, so the
// method table is pointed past that newline before anyone reads it.
%init %{
    for (PyMethodDef* method = SwigMethods; method->ml_name != nullptr; ++method) {
        if (method->ml_doc != nullptr && method->ml_doc[0] == '\n') {
            ++method->ml_doc;
        }
    }
%}
