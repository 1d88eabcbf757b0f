// What each script-visible class is for, as help() and the documentation site show it. SWIG
// would otherwise say only "Proxy of C++ ... class"; the methods keep the documentation strings
// the binding has always given them (their signature first).

%feature("docstring") k814util::PyMsgLogLine %{One line of the instrument's message log.

A line joins the text of the message packets it was written over, without its own time
stamp. Lines come from :class:`PyMsgLogCache` (or :func:`k814util.message_log`); a line
made from a script is empty.

Examples
--------
>>> import k814util
>>> tm = "build/sample-archive/data/vireo/2016-09-14-09.05.10-23456-vireo_sample/vireo_23456.tlm"
>>> line = k814util.message_log(tm)[0]
>>> line.msg(), line.relativeTime()
('LEU energy sample interval 3 s', 9.25)
%}

%feature("docstring") k814util::PyMsgLogCache %{The message log of the bound telemetry file.

Each new object reads the log again, so it shows the lines of packets appended since the
last one. ``len()``, indexing (negative indexes count from the end) and iteration give
:class:`PyMsgLogLine` objects. Make it with :func:`k814util.message_log`, which binds the
process to the file first.

Examples
--------
>>> import k814util
>>> tm = "build/sample-archive/data/vireo/2016-09-14-09.05.10-23456-vireo_sample/vireo_23456.tlm"
>>> log = k814util.message_log(tm)
>>> len(log), log[-1].msg() == log.get(log.size() - 1).msg()
(6, True)
%}

%feature("docstring") k814util::PyVireoMarker %{A VIREO test marker: id, type, text and its span.

``t_start_us()`` and ``t_end_us()`` are Unix times in microseconds (integers); the end is 0
while the marker is still open (``is_complete()`` is then false). Markers come from
:class:`PyVireoMarkerCache` (or :func:`k814util.vireo_markers`).

Examples
--------
>>> import k814util
>>> tm = "build/sample-archive/data/vireo/2016-09-14-09.05.10-23456-vireo_sample/vireo_23456.tlm"
>>> first = k814util.vireo_markers(tm)[0]
>>> first.marker_id(), first.text(), (first.t_end_us() - first.t_start_us()) / 1e6
(1, 'step 1: warm-up', 20.0)
%}

%feature("docstring") k814util::PyVireoMarkerCache %{The VIREO test markers of the bound file, sorted by start time.

Completed markers and those still open at the end of the file (``t_end_us() == 0``) alike.
``len()``, indexing and iteration give :class:`PyVireoMarker` copies; an index not below
``size()`` raises ``IndexError``.

Examples
--------
>>> import k814util
>>> tm = "build/sample-archive/data/vireo/2016-09-14-09.05.10-23456-vireo_sample/vireo_23456.tlm"
>>> markers = k814util.vireo_markers(tm)
>>> [(m.marker_id(), m.is_complete()) for m in markers]
[(1, True), (2, True), (3, True), (2, True), (4, False)]
%}

%feature("docstring") TarGse::MetaMarker %{A meta-marker: an interval the TARN rule files derive from the telemetry.

Attributes
----------
metaMarkerId : int
    The rule's id, between ``cvar.MIN_META_MARKER_ID`` and ``cvar.MAX_META_MARKER_ID``.
index : int
    Its position among all meta-markers of all rules.
startRelativeTimeInSecs, endRelativeTimeInSecs : float
    Its span, in seconds since the test's T0.
msg : str
    The rule's text.

Examples
--------
>>> import k814util
>>> tm = "build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/tarn_12345.tlm"
>>> m = k814util.open(tm).get_meta_markers()[0]
>>> m.metaMarkerId, m.msg, round(m.startRelativeTimeInSecs, 2)
(50001, 'warm-up', 4.85)
%}

%feature("docstring") k814util::TMDatapoint %{One decoded value with its two timestamps.

Parameters
----------
unix_timestamp : float, optional
    Seconds since 1970-01-01T00:00:00Z.
relative_timestamp : float, optional
    Seconds since the test's T0 packet.
value : float, optional
    The value in the mode asked for (raw, engineering or science).

Without arguments, all three are 0. Lists of them (:class:`ListOfTMDatapoints`) come from
:meth:`TMPacket.all_data`.

Examples
--------
>>> import k814util
>>> point = k814util.TMDatapoint(1333384564.04, 21.84, 341.5)
>>> point.relative_timestamp, point.value
(21.84, 341.5)
%}

%feature("docstring") k814util::RfStatusEntry %{One segment of a TARN scan: its first bin and its RF settings.

Attributes
----------
start_bin : int
    0-based first bin of the segment.
rf_amp_v, rf_amp_dac_v, aux_amp_dac_v : float
    RF amplitude, RF amplitude DAC and auxiliary amplitude DAC, in volts.

Lists of them come from :meth:`PythonStyleTarnScan.rf_status_entries`.

Examples
--------
>>> import k814util
>>> entry = k814util.scans(tarn_tm)[0].rf_status_entries()[0]
>>> entry.start_bin
0
%}

%feature("docstring") k814util::PythonStyleTarnScan %{One TARN mass-spectrum scan, a snapshot taken when it was asked for.

Counts per bin from bin 0 (``counts()``), their m/z (``m_over_z_values()``), totals, times
(``relative_timestamp()``: seconds since T0 of the scan's first segment), the marker before
its last science packet, its meta-markers, the SEB read-backs and the laser and
electron-multiplier figures. Methods return 0, an empty string or an empty list where the
scan lacks what they need. Scans come from :class:`ScienceDataCacheWrapper` (or
:func:`k814util.scans`); :func:`k814util.spectra` gives every scan at once as arrays.

Examples
--------
>>> import k814util
>>> tm = "build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/tarn_12345.tlm"
>>> scan = k814util.scans(tm)[9]
>>> scan.scan_mode_as_string(), scan.total_ion_count(), len(scan.counts())
('Dark', 871, 300)
%}

%feature("docstring") k814util::ScienceDataCacheWrapper %{The mass-spectrum scans of the bound TARN telemetry file, by index.

Parameters
----------
skip_zero_id_markers : bool, optional
    Pass over markers of id 0 when finding each scan's marker.
averageSummedScans : bool, optional
    Divide summed scans' counts by the number of scans summed.

Raises
------
RuntimeError
    When no file is bound: make it with :func:`k814util.scans`, which binds first.

Notes
-----
``len()``, indexing (negative indexes count from the end), slicing and iteration give
:class:`PythonStyleTarnScan` objects; ``get_scan(i)`` raises ``IndexError`` for an index
outside ``0 .. size() - 1``.

Examples
--------
>>> import k814util
>>> tm = "build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/tarn_12345.tlm"
>>> scans = k814util.scans(tm)
>>> len(scans), scans[-1].relative_timestamp() > scans[0].relative_timestamp()
(21, True)
%}

%feature("docstring") k814util::TMPacket %{One packet of the bound telemetry file, with its times and its preceding marker.

Header fields (``get_type()``, ``sequence()``, ``sclk()``: the raw timestamp in 100 µs
ticks), ``unix_timestamp()`` and ``relative_timestamp()`` (seconds since 1970 and since T0),
the TARN marker before it (``marker_id()``, ``marker_text()``, 0 and "" without one), the
meta-markers active at its time, and the decoded values of any database item:
``all_data(hkid, mode)`` with mode 0 raw, 1 engineering, 2 science (``all_raw_data``,
``all_eng_data``, ``all_sci_data``), an empty list for an item the packet does not hold.
Packets come from :class:`TMFile` (``f[i]`` or ``f.get_pkt(i)``).

Examples
--------
>>> import k814util
>>> tm = "build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/tarn_12345.tlm"
>>> p = k814util.open(tm)[40]
>>> p.get_type(), p.marker_id(), p.marker_text()
(15, 1, 'step 1: warm-up')
%}

%feature("docstring") k814util::TMFile %{The telemetry file the process is bound to: its packets, test metadata and whole-file tables.

Parameters
----------
filename : str
    The telemetry file. The process must be bound to it already: make the object with
    :func:`k814util.open`, which binds first.

Raises
------
RuntimeError
    When the process is not bound ("k814util is not initialized, ...") or the file does not
    exist ("TMFile was given a nonexistent file!").

Notes
-----
``len()``, indexing (negative indexes count from the end), slicing and iteration give
:class:`TMPacket` objects. The documented methods (``length()``, ``get_pkt``, ``tid()``,
``t0_in_unix_time()``, ...) read the process's packets; the whole-file methods (``series``,
``dataframe``, ``packets``, ``markers``, ``limits``, ...) answer for this file's binding only
and raise :class:`k814util.StaleBindingError` once the process has been bound to another file.

Examples
--------
>>> import k814util
>>> tm = "build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/tarn_12345.tlm"
>>> f = k814util.open(tm)
>>> len(f), f.tid(), f.model(), f.is_time_synced()
(771, 12345, 'FM', True)
>>> f[0].relative_timestamp()
0.0
%}

// The scan wrapper's constructor keeps its parameter names (and their defaults) in the proxy's
// signature; SWIG would give it *args because the compiled constructor takes its defaults.
%feature("shadow") k814util::ScienceDataCacheWrapper::ScienceDataCacheWrapper %{
def __init__(self, skip_zero_id_markers=False, averageSummedScans=False):
    r"""__init__(ScienceDataCacheWrapper self, bool skip_zero_id_markers=False, bool averageSummedScans=False) -> ScienceDataCacheWrapper"""
    _k814util.ScienceDataCacheWrapper_swiginit(
        self, _k814util.new_ScienceDataCacheWrapper(skip_zero_id_markers, averageSummedScans)
    )
%}

// The list types: what each holds; they behave as Python lists (and have the vector's methods).
%feature("docstring") std::vector<int> %{A list of integers (32-bit), as methods such as ``counts()`` return it.

Indexing, slicing (negative indexes count from the end), iteration and ``len()`` work as on a
Python list; any sequence of integers is accepted where one is expected.

Examples
--------
>>> import k814util
>>> ints = k814util.ListOfIntegers([5, -7, 11])
>>> len(ints), ints[-1], list(ints[:2])
(3, 11, [5, -7])
%}
%feature("docstring") std::vector<double> %{A list of floats, as ``m_over_z_values()`` returns it.

Examples
--------
>>> import k814util
>>> list(k814util.ListOfFloats([1.5, 2.5])[::-1])
[2.5, 1.5]
%}
%feature("docstring") std::vector<k814util::RfStatusEntry> %{A list of :class:`RfStatusEntry`, as ``rf_status_entries()`` returns it.

Examples
--------
>>> import k814util
>>> len(k814util.ListOfRfStatusEntrys([k814util.RfStatusEntry()]))
1
%}
%feature("docstring") std::vector<k814util::TMDatapoint> %{A list of :class:`TMDatapoint`, as ``all_data()`` returns it.

Examples
--------
>>> import k814util
>>> points = k814util.ListOfTMDatapoints([k814util.TMDatapoint(1.0, 0.5, 3.0)])
>>> points[0].value
3.0
%}
%feature("docstring") std::vector<TarGse::MetaMarker> %{A list of :class:`MetaMarker`, as ``get_meta_markers()`` returns it.

Examples
--------
>>> import k814util
>>> len(k814util.ListOfMetaMarkers())
0
%}
