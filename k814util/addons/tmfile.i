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

def series(self, item, mode="sci", start=None, end=None, window=None):
    """Every value of one database item over the whole file, as numpy arrays.

    ``item`` is a data id or a mnemonic ("SEB:EMON_A", or "EMON_A" when the name is unique);
    ``mode`` is "raw", "eng", "sci" or 0-2. The result has ``unix_time``, ``relative_time``,
    ``value`` (float64; text items give their texts as a string array) and ``packet`` (the
    index ``get_pkt`` takes): one entry per value that ``all_data`` gives, packet by packet, in
    the same order, values that convert to NaN left out as there.

    Raises :class:`UnknownItemError` for an item the database does not hold.

    ``start`` / ``end`` keep what lies between two times, both included: relative seconds as
    numbers, or UTC as datetimes or ISO text ("2012-04-02T12:36:00Z"; without a zone, UTC);
    ``window`` keeps what lies inside the span(s) of a marker or meta-marker id (a TARN marker
    lasts until the next one, the last until the end of the data). A window that holds nothing
    gives an empty result; an id that no marker or meta-marker has raises ``ValueError`` naming
    the ids there are.
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

    ``layout="long"``: one row per value, columns ``item`` (the mnemonic), ``value``,
    ``relative_time``, ``packet`` and ``sample`` (the value's position in its packet), in
    packet order and, within a packet, in the order the items were given.
    ``layout="wide"``: one row per packet and sample, columns ``relative_time``, ``packet``,
    ``sample`` and one column per item (named by mnemonic), NaN where a packet lacks the item;
    values of the same packet stand in the same row. A row's time is that of the first item
    given that has a value there. The rows are sorted by time (the index increases), so the
    frame slices by time; rows of equal time keep packet and sample order.

    ``attrs["units"]`` maps each item's mnemonic to its units in the mode asked for ("" when
    it has none) and ``attrs["mode"]`` names the mode ("raw", "eng" or "sci").

    ``start`` / ``end`` keep what lies between two times, both included: relative seconds as
    numbers, or UTC as datetimes or ISO text ("2012-04-02T12:36:00Z"; without a zone, UTC);
    ``window`` keeps what lies inside the span(s) of a marker or meta-marker id (a TARN marker
    lasts until the next one, the last until the end of the data). A window that holds nothing
    gives an empty result; an id that no marker or meta-marker has raises ``ValueError`` naming
    the ids there are.

    ``resample`` (a period pandas reads: "10s", "1min") combines each item's values in bins of
    that period of the time index with ``how`` ("mean", "last", "first", "min", "max",
    "median", "sum", "count", "std"): see :func:`k814util.windows.resample`.
    """
    from k814util import _binding, frames

    _binding.ensure_current(self)
    return frames.dataframe(
        items, mode, layout, start, end, window, resample, how, file=self
    )

def packets(self, start=None, end=None, window=None):
    """Every packet of the file, one row each, indexed by the position ``get_pkt`` takes:
    header fields (``index``, ``type``, ``full_type``, ``total_length``, ``length``,
    ``sequence``, ``sclk``, ``checksum``, ``gse_created``), ``unix_time``, ``relative_time``,
    ``type_name`` (the packet-type catalogue's name of the full type, as ``packet_types()``
    names it, or of the type when the catalogue lacks the full type) and ``marker_id`` (the
    preceding TARN marker's id, 0 when none), as the packet objects report them.

    ``start`` / ``end`` keep what lies between two times, both included: relative seconds as
    numbers, or UTC as datetimes or ISO text ("2012-04-02T12:36:00Z"; without a zone, UTC);
    ``window`` keeps what lies inside the span(s) of a marker or meta-marker id (a TARN marker
    lasts until the next one, the last until the end of the data). A window that holds nothing
    gives an empty result; an id that no marker or meta-marker has raises ``ValueError`` naming
    the ids there are.
    """
    from k814util import _binding, frames

    _binding.ensure_current(self)
    return frames.packets(start, end, window, file=self)

def items(self, pattern=None):
    """The database's items, indexed by id: ``mnemonic``, ``subsystem``, ``name``,
    ``packet_type``, the units of each mode and ``description``.

    ``pattern`` keeps the items whose mnemonic matches it, ignoring case: a shell-style pattern
    ("SEB:T_*") when it has wildcards, otherwise any mnemonic containing it.
    """
    from k814util import _binding, frames

    _binding.ensure_current(self)
    return frames.items(pattern)

def messages(self, start=None, end=None, window=None):
    """The instrument's message log, one row per line: ``relative_time`` and ``msg``, with a
    UTC time index.

    ``start``, ``end`` and ``window`` keep the lines of a time window, as :meth:`series` says.
    """
    from k814util import _binding, frames

    _binding.ensure_current(self)
    return frames.messages(start, end, window, file=self)

def vireo_markers(self):
    """The VIREO test markers, sorted by start: ``marker_id``, ``marker_type``, ``t_start_us``,
    ``t_end_us`` (0 while open), ``complete`` and ``text``, with the start as UTC time index."""
    from k814util import _binding, frames

    _binding.ensure_current(self)
    return frames.vireo_markers()

def markers(self):
    """The TARN marker packets, in time order: ``marker_index`` (the marker's own 0-based index
    field; ``quip_marker_index()`` of the packets after it is one more), ``packet`` (the marker
    packet's index), ``marker_id``, ``sclk``, ``relative_time``, ``unix_time`` and ``text``,
    with a UTC time index."""
    from k814util import _binding, frames

    _binding.ensure_current(self)
    return frames.markers()

def meta_markers(self):
    """The meta-markers of the file: ``meta_marker_id``, ``index``, ``start_relative_time``,
    ``end_relative_time`` and ``msg``, one row each in the order ``get_meta_markers`` gives."""
    from k814util import _binding, frames

    _binding.ensure_current(self)
    return frames.meta_markers(self.get_meta_markers())

def tarn_markers(self):
    """The TARN marker packets in time order, as records (``markers()`` as objects)."""
    from k814util import _binding, frames

    _binding.ensure_current(self)
    return frames.tarn_markers()

def mission(self):
    """The mission of the test the process is bound to ("tarn", "vireo"), as binding read it."""
    from k814util import _binding, reports

    _binding.ensure_current(self)
    return reports.mission()

def packet_summary(self):
    """Packet count, time span, the clock's T0 and state, and the count of each packet type."""
    from k814util import _binding, reports

    _binding.ensure_current(self)
    return reports.packet_summary()

def packet_types(self):
    """The count of each full packet type, indexed by type, with the catalogue's name."""
    from k814util import _binding, reports

    _binding.ensure_current(self)
    return reports.packet_types()

def seb_sequences(self):
    """The SEB command sequences of a TARN file's sequence packets (continuations joined, a
    command cut between packets completed), each command with its decoded fields; empty for
    other missions."""
    from k814util import _binding, reports

    _binding.ensure_current(self)
    return reports.seb_sequences()

def seb_commands(self):
    """Every SEB command, one row each: ``sequence`` (its number), ``relative_time`` (of the
    sequence), ``position`` in the sequence, ``number``, ``name``, ``fields`` (name=text,
    blank-separated) and ``data`` (the bytes in hexadecimal)."""
    from k814util import _binding, reports

    _binding.ensure_current(self)
    return reports.seb_commands()

def limits(self):
    """The items of the database that have limits, one row each in id order: ``id``,
    ``mnemonic``, ``subsystem``, ``units``, then for each set n (1, 2) ``value_mode_n``,
    ``comparison_n``, ``yellow_n``, ``red_n`` and ``persistence_n`` (see
    :func:`k814util.limits.limits`)."""
    from k814util import _binding, limits

    _binding.ensure_current(self)
    return limits.limits(self)

def limit_violations(self, items=None, level="yellow", start=None, end=None, window=None):
    """One row per span in which a value of ``items`` (ids or mnemonics; every item with limits
    when None) stayed beyond one of its limits: the set, level, comparison and limit, the
    span's start and end (unix and relative time, packet), its samples, the worst value and its
    time, and whether it was still open at the end of the file (see
    :func:`k814util.limits.limit_violations`). ``level="red"`` leaves the yellow spans out;
    ``start``, ``end`` and ``window`` (as :meth:`series` takes them) keep the spans that
    overlap that stretch of time, whole.

    Raises :class:`UnknownItemError` for an item the database does not hold.
    """
    from k814util import _binding, limits

    _binding.ensure_current(self)
    return limits.limit_violations(self, items, level, start, end, window)

def diagnostics(self):
    """The diagnostic lines of this file's binding (the binding and every read-on since), each
    a :class:`k814util.Diagnostic` with its kind ("reader" for damaged telemetry, ...) and
    text."""
    from k814util import _binding, diagnostics

    _binding.ensure_current(self)
    return diagnostics.binding_diagnostics()

def refresh(self, stale_after=5.0):
    """Reads what the station appended to the file since the last read and returns the number
    of new packets (binding the process to this file again, and counting all its packets, when
    it was bound to another one since).

    The file is read on only when a whole packet waits where the last read stopped (or bytes
    the reader passes over as damage), so a packet the station has only partly written does not
    use up the few reads the reader allows a packet cut off at the end of the file: refresh as
    often as you like, also while the station writes steadily. (A read that got whole packets
    may still stop inside the one being written, with a "Read partial packet" line; the next
    whole packet resets that count.) When the file keeps its size for ``stale_after``
    seconds, what waits unfinished at its end is read anyway: damage that looks like a long
    packet's start, or the end of a recording that stopped, then costs its retries and is
    passed over instead of holding back what follows it.

    An object made for an earlier binding binds its file again: it is then current again (and
    objects of the binding it replaces are stale)."""
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
