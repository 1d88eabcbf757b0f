// A telemetry file as a script sees it: a sequence of packets, and whole-file tables of its
// values, packets, items, markers and reports. The tables are computed by the package's modules
// (imported when first asked for, so numpy and pandas load only for those who use them); each
// first checks that the object was made for the process's current binding.
%extend k814util::TMFile {
%pythoncode %{
def __len__(self):
    from k814util._binding import ensure_current

    ensure_current(self)
    return self.length()

def __getitem__(self, index):
    from k814util._binding import ensure_current

    ensure_current(self)
    if isinstance(index, slice):
        return [self.get_pkt(i) for i in range(*index.indices(self.length()))]
    from k814util._sequence import position

    return self.get_pkt(position(index, self.length()))

def __iter__(self):
    from k814util._binding import ensure_current

    ensure_current(self)
    for i in range(self.length()):
        yield self.get_pkt(i)

def __repr__(self):
    from k814util._binding import StaleBindingError, ensure_current

    try:
        ensure_current(self)
    except StaleBindingError:
        return f"TMFile({self.filename()!r}, stale: the process has been bound to another file since)"
    return f"TMFile({self.filename()!r}, {self.length()} packets)"

def _repr_html_(self):
    """A short HTML summary for notebooks: file, mission, test, packets, time span, the items
    with limits and, for TARN, the science packets by type. Nothing is decoded.

    Returns
    -------
    str
        The summary as HTML; a stale object's says so.
    """
    from k814util import _html
    from k814util._binding import is_current

    if not is_current(self):
        return _html.table(
            "TMFile (stale)",
            [("file", self.filename())],
            "The process has been bound to another file since: make the object again.",
        )
    return _html.table("TMFile", _html.facts_rows(_html.file_facts(self)))

def series(self, item, mode="sci", start=None, end=None, window=None):
    """Every value of one database item over the whole file, as numpy arrays.

    One entry per value that ``all_data`` gives, packet by packet, in the same order; values
    that convert to NaN are left out as there.

    Parameters
    ----------
    item : int or str
        A data id or a mnemonic ("SEB:EMON_A", or "EMON_A" when the name is unique).
    mode : str or int, optional
        "raw", "eng", "sci" (default) or 0-2.
    start, end : float, str or datetime, optional
        Keep what lies between two times, both included: relative seconds as numbers, or UTC
        as datetimes or ISO text ("2012-04-02T16:36:00Z"; without a zone, UTC).
    window : int, optional
        Keep what lies inside the span(s) of a marker or meta-marker id (a TARN marker lasts
        until the next one, the last until the end of the data).

    Returns
    -------
    dict of numpy.ndarray
        ``unix_time``, ``relative_time``, ``value`` (float64; text items give their texts as
        a string array) and ``packet`` (the index ``get_pkt`` takes).

    Raises
    ------
    UnknownItemError
        For an item the database does not hold (naming the close matches).
    ValueError
        For a ``window`` id that no marker or meta-marker has (naming the ids there are). A
        window that holds nothing gives an empty result.
    StaleBindingError
        When the process has been bound to another file since the object was made.

    Examples
    --------
    >>> import k814util
    >>> f = k814util.open(tarn_tm)
    >>> hv = f.series("SEB:HV_MON", mode="eng", start=10, end=12)
    >>> hv["relative_time"].round(2), hv["value"].round(3), hv["packet"]
    (array([10.8, 11.8]), array([1.105, 1.102]), array([21, 22]))
    """
    from k814util import _binding, frames

    _binding.ensure_current(self)
    return frames.series(item, mode, start, end, window, file=self)

def dataframe(
    self,
    items,
    mode="sci",
    layout="long",
    start=None,
    end=None,
    window=None,
    resample=None,
    how="mean",
):
    """Values of several items over the whole file as one DataFrame with a UTC time index.

    Parameters
    ----------
    items : list of int or str
        Data ids or mnemonics.
    mode : str or int, optional
        "raw", "eng", "sci" (default) or 0-2.
    layout : {"long", "wide"}, optional
        "long": one row per value, columns ``item`` (the mnemonic), ``value``,
        ``relative_time``, ``packet`` and ``sample`` (the value's position in its packet), in
        packet order and, within a packet, in the order the items were given. "wide": one row
        per packet and sample, columns ``relative_time``, ``packet``, ``sample`` and one
        column per item (named by mnemonic), NaN where a packet lacks the item. A row's time
        is that of the first item given that has a value there.
    start, end : float, str or datetime, optional
        Keep what lies between two times, both included: relative seconds as numbers, or UTC
        as datetimes or ISO text ("2012-04-02T16:36:00Z"; without a zone, UTC).
    window : int, optional
        Keep what lies inside the span(s) of a marker or meta-marker id (a TARN marker lasts
        until the next one, the last until the end of the data).
    resample : str, optional
        A period pandas reads ("10s", "1min"): each item's values are combined in bins of that
        period of the time index with ``how`` (see :func:`k814util.windows.resample`).
    how : str, optional
        "mean" (default), "last", "first", "min", "max", "median", "sum", "count" or "std".

    Returns
    -------
    pandas.DataFrame
        Sorted by time (rows of equal time keep packet and sample order).
        ``attrs["units"]`` maps each item's mnemonic to its units in the mode asked for ("" when
        it has none) and ``attrs["mode"]`` names the mode.

    Raises
    ------
    UnknownItemError
        For an item the database does not hold.
    ValueError
        For a ``window`` id that no marker or meta-marker has (naming the ids there are). A
        window that holds nothing gives an empty result.
    StaleBindingError
        When the process has been bound to another file since the object was made.

    Examples
    --------
    >>> import k814util
    >>> f = k814util.open(tarn_tm)
    >>> wide = f.dataframe(["SEB:EMON_A", "SEB:HV_MON"], layout="wide", end=2)
    >>> wide[["SEB:EMON_A", "SEB:HV_MON"]].round(2).head(2).to_numpy().tolist()
    [[9.9, 341.66], [10.4, nan]]
    >>> wide.attrs["units"]
    {'SEB:EMON_A': 'uA', 'SEB:HV_MON': 'V'}
    """
    from k814util import _binding, frames

    _binding.ensure_current(self)
    return frames.dataframe(
        items, mode, layout, start, end, window, resample, how, file=self
    )

def packets(self, start=None, end=None, window=None):
    """Every packet of the file, one row each, indexed by the position ``get_pkt`` takes.

    Parameters
    ----------
    start, end : float, str or datetime, optional
        Keep what lies between two times, both included: relative seconds as numbers, or UTC
        as datetimes or ISO text ("2012-04-02T16:36:00Z"; without a zone, UTC).
    window : int, optional
        Keep what lies inside the span(s) of a marker or meta-marker id (a TARN marker lasts
        until the next one, the last until the end of the data).

    Returns
    -------
    pandas.DataFrame
        Header fields (``index``, ``type``, ``full_type``, ``total_length``, ``length``,
        ``sequence``, ``sclk``, ``checksum``, ``gse_created``), ``unix_time``,
        ``relative_time``, ``type_name`` (the packet-type catalogue's name of the full type, or
        of the type when the catalogue lacks the full type) and ``marker_id`` (the preceding
        TARN marker's id, 0 when none), as the packet objects report them.

    Raises
    ------
    ValueError
        For a ``window`` id that no marker or meta-marker has (naming the ids there are). A
        window that holds nothing gives an empty result.
    StaleBindingError
        When the process has been bound to another file since the object was made.

    Examples
    --------
    >>> import k814util
    >>> f = k814util.open(tarn_tm)
    >>> f.packets(window=1)["type_name"].value_counts().head(3).to_dict()
    {'SEB_HK': 30, 'SCIENCE_RAW': 7, 'LASER_PULSES': 6}
    """
    from k814util import _binding, frames

    _binding.ensure_current(self)
    return frames.packets(start, end, window, file=self)

def items(self, pattern=None):
    """The database's items.

    Parameters
    ----------
    pattern : str, optional
        Keep the items whose mnemonic matches, ignoring case: a shell-style pattern ("SEB:T_*")
        when it has wildcards, otherwise any mnemonic containing it.

    Returns
    -------
    pandas.DataFrame
        Indexed by id: ``mnemonic``, ``subsystem``, ``name``, ``packet_type``, the units of
        each mode (``units_raw``, ``units_eng``, ``units_sci``) and ``description``.

    Examples
    --------
    >>> import k814util
    >>> f = k814util.open(tarn_tm)
    >>> f.items("SEB:EMON_*")[["mnemonic", "units_sci"]]
          mnemonic units_sci
    id
    17  SEB:EMON_A        uA
    18  SEB:EMON_B        uA
    """
    from k814util import _binding, frames

    _binding.ensure_current(self)
    return frames.items(pattern)

def messages(self, start=None, end=None, window=None):
    """The instrument's message log, one row per line.

    Parameters
    ----------
    start, end : float, str or datetime, optional
        Keep what lies between two times, both included: relative seconds as numbers, or UTC
        as datetimes or ISO text ("2012-04-02T16:36:00Z"; without a zone, UTC).
    window : int, optional
        Keep what lies inside the span(s) of a marker or meta-marker id (a TARN marker lasts
        until the next one, the last until the end of the data).

    Returns
    -------
    pandas.DataFrame
        ``relative_time`` and ``msg``, with a UTC time index.

    Raises
    ------
    ValueError
        For a ``window`` id that no marker or meta-marker has (naming the ids there are). A
        window that holds nothing gives an empty result.
    StaleBindingError
        When the process has been bound to another file since the object was made.

    Examples
    --------
    >>> import k814util
    >>> f = k814util.open(vireo_tm)
    >>> f.messages().iloc[0].to_dict()
    {'relative_time': 9.25, 'msg': 'LEU energy sample interval 3 s'}
    """
    from k814util import _binding, frames

    _binding.ensure_current(self)
    return frames.messages(start, end, window, file=self)

def vireo_markers(self):
    """The VIREO test markers, sorted by start.

    Returns
    -------
    pandas.DataFrame
        ``marker_id``, ``marker_type``, ``t_start_us``, ``t_end_us`` (Unix microseconds; the
        end 0 while open), ``complete`` and ``text``, with the start as UTC time index.

    Raises
    ------
    StaleBindingError
        When the process has been bound to another file since the object was made.

    Examples
    --------
    >>> import k814util
    >>> f = k814util.open(vireo_tm)
    >>> f.vireo_markers()[["marker_id", "t_end_us", "complete"]].tail(2).to_numpy().tolist()
    [[2, 1473858380500000, True], [4, 0, False]]
    """
    from k814util import _binding, frames

    _binding.ensure_current(self)
    return frames.vireo_markers()

def markers(self):
    """The TARN marker packets, in time order.

    Returns
    -------
    pandas.DataFrame
        ``marker_index`` (the marker's own 0-based index field; ``quip_marker_index()`` of the
        packets after it is one more), ``packet`` (the marker packet's index), ``marker_id``,
        ``sclk``, ``relative_time``, ``unix_time`` and ``text``, with a UTC time index.

    Raises
    ------
    StaleBindingError
        When the process has been bound to another file since the object was made.

    Examples
    --------
    >>> import k814util
    >>> f = k814util.open(tarn_tm)
    >>> f.markers()[["marker_id", "text"]].to_numpy().tolist()
    [[1, 'step 1: warm-up'], [2, 'step 2: warm-up'], [3, 'step 3: filament B on'], [4, 'step 4: filament B on']]
    """
    from k814util import _binding, frames

    _binding.ensure_current(self)
    return frames.markers()

def meta_markers(self):
    """The meta-markers of the file, one row each in the order ``get_meta_markers`` gives.

    Returns
    -------
    pandas.DataFrame
        ``meta_marker_id``, ``index``, ``start_relative_time``, ``end_relative_time`` and
        ``msg``.

    Raises
    ------
    StaleBindingError
        When the process has been bound to another file since the object was made.

    Examples
    --------
    >>> import k814util
    >>> f = k814util.open(tarn_tm)
    >>> f.meta_markers()[["meta_marker_id", "msg"]].head(2).to_numpy().tolist()
    [[50001, 'warm-up'], [50002, 'scan sequence loaded']]
    """
    from k814util import _binding, frames

    _binding.ensure_current(self)
    return frames.meta_markers(self.get_meta_markers())

def tarn_markers(self):
    """The TARN marker packets in time order, as records (``markers()`` as objects).

    Returns
    -------
    list of TarnMarker

    Examples
    --------
    >>> import k814util
    >>> m = k814util.open(tarn_tm).tarn_markers()[0]
    >>> m.marker_id, m.text, round(m.relative_time, 2)
    (1, 'step 1: warm-up', 4.85)
    """
    from k814util import _binding, frames

    _binding.ensure_current(self)
    return frames.tarn_markers()

def mission(self):
    """The mission of the test the process is bound to, as binding read it from ``tm.meta``.

    Returns
    -------
    str
        "tarn" or "vireo".

    Examples
    --------
    >>> import k814util
    >>> k814util.open(tarn_tm).mission()
    'tarn'
    """
    from k814util import _binding, reports

    _binding.ensure_current(self)
    return reports.mission()

def packet_summary(self):
    """Packet count, time span, the clock's T0 and state, and the count of each packet type.

    Returns
    -------
    PacketSummary

    Examples
    --------
    >>> import k814util
    >>> s = k814util.open(tarn_tm).packet_summary()
    >>> s.packets, round(s.last_unix - s.t0_unix, 3), s.synced, s.types[0]
    (771, 118.802, True, PacketTypeCount(type=2, name='TIME', count=10))
    """
    from k814util import _binding, reports

    _binding.ensure_current(self)
    return reports.packet_summary()

def packet_types(self):
    """The count of each full packet type, with the catalogue's name.

    Returns
    -------
    pandas.DataFrame
        Indexed by type: ``name`` and ``count``.

    Examples
    --------
    >>> import k814util
    >>> k814util.open(tarn_tm).packet_types().loc[22].to_dict()
    {'name': 'SEB_HK', 'count': 120}
    """
    from k814util import _binding, reports

    _binding.ensure_current(self)
    return reports.packet_types()

def seb_sequences(self):
    """The SEB command sequences of a TARN file's sequence packets.

    Continuations are joined and a command cut between packets completed; each command comes
    with its decoded fields.

    Returns
    -------
    list of SebSequence
        Empty for other missions.

    Examples
    --------
    >>> import k814util
    >>> seq = k814util.open(tarn_tm).seb_sequences()[0]
    >>> [(c.number, c.name) for c in seq.commands][:2]
    [(18, 'SET_BIN_TIME'), (29, 'SET_DAC_IMM')]
    """
    from k814util import _binding, reports

    _binding.ensure_current(self)
    return reports.seb_sequences()

def seb_commands(self):
    """Every SEB command, one row each.

    Returns
    -------
    pandas.DataFrame
        ``sequence`` (its number), ``relative_time`` (of the sequence), ``position`` in the
        sequence, ``number``, ``name``, ``fields`` (name=text, blank-separated) and ``data``
        (the bytes in hexadecimal).

    Examples
    --------
    >>> import k814util
    >>> k814util.open(tarn_tm).seb_commands()[["sequence", "number", "name"]].head(2)
       sequence  number          name
    0         0      18  SET_BIN_TIME
    1         0      29   SET_DAC_IMM
    """
    from k814util import _binding, reports

    _binding.ensure_current(self)
    return reports.seb_commands()

def limits(self):
    """The items of the database that have limits, one row each in id order.

    Returns
    -------
    pandas.DataFrame
        ``id``, ``mnemonic``, ``subsystem``, ``units``, then for each set n (1, 2)
        ``value_mode_n``, ``comparison_n``, ``yellow_n``, ``red_n`` and ``persistence_n`` (see
        :func:`k814util.limits.limits`).

    Examples
    --------
    >>> import k814util
    >>> k814util.open(tarn_tm).limits()["mnemonic"].tolist()
    ['SEB:T_BOARD', 'CDH:V_BUS', 'LIM:PRESSURE', 'LIM:CURRENT', 'LIM:STATE']
    """
    from k814util import _binding, limits

    _binding.ensure_current(self)
    return limits.limits(self)

def limit_violations(self, items=None, level="yellow", start=None, end=None, window=None):
    """One row per span in which a value stayed beyond one of its limits.

    Parameters
    ----------
    items : int, str or list of them, optional
        Ids or mnemonics (default: every item with limits).
    level : {"yellow", "red"}, optional
        "yellow" gives yellow and red spans, "red" only red ones.
    start, end : float, str or datetime, optional
        Keep what lies between two times, both included: relative seconds as numbers, or UTC
        as datetimes or ISO text ("2012-04-02T16:36:00Z"; without a zone, UTC).
    window : int, optional
        Keep what lies inside the span(s) of a marker or meta-marker id (a TARN marker lasts
        until the next one, the last until the end of the data).
        The spans that overlap that stretch of time are kept whole.

    Returns
    -------
    pandas.DataFrame
        The set, level, comparison and limit, the span's start and end (Unix and relative
        time, packet), its samples, the worst value and its time, and whether it was still
        open at the end of the file (see :func:`k814util.limits.limit_violations`).

    Raises
    ------
    UnknownItemError
        For an item the database does not hold.
    ValueError
        For a ``window`` id that no marker or meta-marker has (naming the ids there are). A
        window that holds nothing gives an empty result.
    StaleBindingError
        When the process has been bound to another file since the object was made.

    Examples
    --------
    >>> import k814util
    >>> v = k814util.open(tarn_tm).limit_violations("LIM:PRESSURE")
    >>> v[["set", "level", "start_relative", "end_relative", "samples"]].round(1)
       set   level  start_relative  end_relative  samples
    0    1  yellow            19.8          28.8       10
    1    1     red            23.8          25.8        3
    2    2  yellow            59.8          63.8        5
    """
    from k814util import _binding, limits

    _binding.ensure_current(self)
    return limits.limit_violations(self, items, level, start, end, window)

def diagnostics(self):
    """The diagnostic lines of this file's binding (the binding and every read-on since).

    Returns
    -------
    list of Diagnostic
        Each with its kind ("reader" for damaged telemetry, ...) and text, whatever was done
        with them when they were said (printed, captured or logged).

    Examples
    --------
    >>> import k814util
    >>> lines = k814util.open(tarn_tm).diagnostics()
    >>> sorted({d.kind for d in lines})
    ['reader', 'rules']
    """
    from k814util import _binding, diagnostics

    _binding.ensure_current(self)
    return diagnostics.binding_diagnostics()

def refresh(self, stale_after=5.0):
    """Reads what the station appended to the file since the last read.

    The file is read on only when a whole packet waits where the last read stopped (or bytes
    the reader passes over as damage), so a packet the station has only partly written does not
    use up the few reads the reader allows a packet cut off at the end of the file: refresh as
    often as you like, also while the station writes steadily. (A read that got whole packets
    may still stop inside the one being written, with a "Read partial packet" line; the next
    whole packet resets that count.)

    An object made for an earlier binding binds its file again (and counts all its packets):
    it is then current again, and objects of the binding it replaces are stale.

    Parameters
    ----------
    stale_after : float, optional
        When the file keeps its size for this many seconds, what waits unfinished at its end is
        read anyway: damage that looks like a long packet's start, or the end of a recording
        that stopped, then costs its retries and is passed over instead of holding back what
        follows it.

    Returns
    -------
    int
        The number of new packets; 0 until a whole new packet is on disk.

    Examples
    --------
    >>> import k814util
    >>> f = k814util.open(tarn_tm)
    >>> f.refresh()  # the sample's file does not grow
    0
    """
    added = int(_k814util._console_refresh(self.filename(), float(stale_after)))
    self._adopt_binding()
    return added

def to_xarray(self, items, mode="sci", start=None, end=None, window=None):
    """Values of items as an xarray Dataset, each item on its own time axis.

    Each item's variable is named by its mnemonic with ":" (and any other character a file
    name may not hold) made "_" ("SEB:EMON_A" becomes ``SEB_EMON_A``) and lies along its own
    dimension ``time_<name>``, whose coordinates are ``time_<name>`` (UTC),
    ``relative_time_<name>`` (seconds since T0) and ``packet_<name>``; the values are those
    of :meth:`series`. The variable's attributes are ``mnemonic``, ``item_id``, ``units``,
    ``value_mode`` and ``long_name``; the dataset's the test's (``test_name``, ``tid``,
    ``mission``, ``model``, ``file``) and ``value_mode``. The times carry their encoding, so
    ``to_netcdf`` and ``to_zarr`` store them with any engine.

    Parameters
    ----------
    items : int, str or list of them
        Data ids or mnemonics.
    mode : {"sci", "eng", "raw"} or int, default "sci"
        The value mode.
    start, end : float, datetime or str, optional
        Keep what lies between two times, both included (as :meth:`series`).
    window : int, optional
        Keep what lies inside the span(s) of a marker or meta-marker id.

    Returns
    -------
    xarray.Dataset

    Raises
    ------
    UnknownItemError
        For an item the database does not hold.
    ValueError
        For a bad mode, no items or an item given twice.
    ImportError
        Without xarray (the ``analysis`` extra).

    Examples
    --------
    >>> import k814util
    >>> f = k814util.open(
    ...     "build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/"
    ...     "tarn_12345.tlm"
    ... )
    >>> ds = f.to_xarray(["SEB:EMON_A", "SEB:T_BOARD"])
    >>> ds["SEB_T_BOARD"].attrs["mnemonic"], ds["SEB_T_BOARD"].dims
    ('SEB:T_BOARD', ('time_SEB_T_BOARD',))
    """
    from k814util import _binding, exports

    _binding.ensure_current(self)
    return exports.file_to_xarray(self, items, mode, start, end, window)
%}
}
