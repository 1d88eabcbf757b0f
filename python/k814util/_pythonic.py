"""Python conveniences on the compiled classes: lengths, indexing, iteration and readable
representations, each a thin layer over the methods the module publishes."""

from __future__ import annotations

import copy
import inspect
import operator

from k814util import frames
from k814util import k814util as _k


def _getitem(self, index):
    if isinstance(index, slice):
        return [self.get(i) for i in range(*index.indices(self.size()))]
    n = self.size()
    i = operator.index(index)
    if i < 0:
        i += n
    if not 0 <= i < n:
        raise IndexError("index out of range")
    return self.get(i)


def _iter(self):
    for i in range(self.size()):
        yield self.get(i)


def _position(index, n: int) -> int:
    """A list index (negative from the end) as a position, or -1 when it is outside: indexes
    beyond the module's int range are outside too, not an overflow."""
    i = operator.index(index)
    i = i + n if i < 0 else i
    return i if 0 <= i < n else -1


def _file_getitem(self, index):
    if isinstance(index, slice):
        return [self.get_pkt(i) for i in range(*index.indices(self.length()))]
    return self.get_pkt(_position(index, self.length()))


def _scans_getitem(self, index):
    if isinstance(index, slice):
        return [self.get_scan(i) for i in range(*index.indices(self.size()))]
    return self.get_scan(_position(index, self.size()))


def _scans_iter(self):
    for i in range(self.size()):
        yield self.get_scan(i)


def _file_iter(self):
    for i in range(self.length()):
        yield self.get_pkt(i)


def _line_repr(self) -> str:
    return f"PyMsgLogLine(unixTime={self.unixTime():.6f}, msg={self.msg()!r})"


def _marker_repr(self) -> str:
    end = self.t_end_us() if self.is_complete() else "open"
    return (
        f"PyVireoMarker(id={self.marker_id()}, type={self.marker_type()}, "
        f"t_start_us={self.t_start_us()}, t_end_us={end}, text={self.text()!r})"
    )


def _list_types():
    return (
        _k.ListOfIntegers,
        _k.ListOfFloats,
        _k.ListOfRfStatusEntrys,
        _k.ListOfTMDatapoints,
        _k.ListOfMetaMarkers,
    )


def _list_eq(self, other):
    if isinstance(other, (list, tuple, *_list_types())):
        return list(self) == list(other)
    return NotImplemented


def _record(cls, fields):
    """A record class's object with the given fields: how records unpickle."""
    obj = cls()
    for name, value in fields.items():
        setattr(obj, name, value)
    return obj


def _record_reduce(names):
    def reduce(self):
        return _record, (type(self), {n: getattr(self, n) for n in names})

    return reduce


def _list_reduce(self):
    return type(self), (list(self),)


def _list_copy(self):
    # The SWIG default would wrap the same C++ vector twice, both owning it.
    return type(self)(self)


def _list_deepcopy(self, memo):
    return type(self)(copy.deepcopy(list(self), memo))


def _fields_eq(names):
    """Equality of two records of one class by the named fields (SWIG compares addresses)."""

    def eq(self, other):
        if type(other) is not type(self):
            return NotImplemented
        return all(getattr(self, n) == getattr(other, n) for n in names)

    return eq


def _list_ne(self, other):
    eq = _list_eq(self, other)
    return eq if eq is NotImplemented else not eq


def _list_repr(self) -> str:
    return f"{type(self).__name__}({list(self)!r})"


def _signature_first_docs() -> None:
    """The proxy functions SWIG writes carry multi-line documentation opening with a blank line
    and indented; give them the compiled functions' form, signature first."""
    for name in ("initK814Util", "bindTelemetryFile"):
        function = getattr(_k, name)
        if function.__doc__:
            function.__doc__ = inspect.cleandoc(function.__doc__)


def install() -> None:
    _signature_first_docs()
    frames.install()
    for cls in _list_types():
        cls.__eq__ = _list_eq
        cls.__ne__ = _list_ne
        cls.__hash__ = None  # mutable, like list
        cls.__repr__ = _list_repr
        # Results travel to other processes (multiprocessing, caches) and get copied.
        cls.__reduce__ = _list_reduce
        cls.__copy__ = _list_copy
        cls.__deepcopy__ = _list_deepcopy
    for cls, names in (
        (_k.TMDatapoint, ("unix_timestamp", "relative_timestamp", "value")),
        (_k.RfStatusEntry, ("start_bin", "rf_amp_v", "rf_amp_dac_v", "aux_amp_dac_v")),
        (
            _k.MetaMarker,
            ("metaMarkerId", "index", "startRelativeTimeInSecs", "endRelativeTimeInSecs", "msg"),
        ),
    ):
        cls.__eq__ = _fields_eq(names)
        cls.__hash__ = None  # fields are writable
        cls.__reduce__ = _record_reduce(names)
    for cls in (_k.PyMsgLogCache, _k.PyVireoMarkerCache):
        cls.__len__ = lambda self: self.size()
        cls.__getitem__ = _getitem
        cls.__iter__ = _iter
    _k.PyMsgLogLine.__repr__ = _line_repr
    _k.PyMsgLogLine.__str__ = lambda self: self.msg()
    _k.PyVireoMarker.__repr__ = _marker_repr
    _k.TMFile.__len__ = lambda self: self.length()
    _k.TMFile.__getitem__ = _file_getitem
    _k.TMFile.__iter__ = _file_iter
    _k.TMFile.__repr__ = lambda self: f"TMFile({self.filename()!r}, {self.length()} packets)"
    _k.ScienceDataCacheWrapper.__len__ = lambda self: self.size()
    _k.ScienceDataCacheWrapper.__getitem__ = _scans_getitem
    _k.ScienceDataCacheWrapper.__iter__ = _scans_iter
    _k.ScienceDataCacheWrapper.__repr__ = lambda self: (
        f"ScienceDataCacheWrapper({self.size()} scans)"
    )
    _k.PythonStyleTarnScan.__repr__ = lambda self: (
        f"PythonStyleTarnScan(relative_timestamp={self.relative_timestamp():.6f}, "
        f"src_pkt_type={self.src_pkt_type()}, bins={len(self.counts())}, "
        f"mode={self.scan_mode_as_string()!r})"
    )
    _k.RfStatusEntry.__repr__ = lambda self: (
        f"RfStatusEntry(start_bin={self.start_bin}, rf_amp_v={self.rf_amp_v!r}, "
        f"rf_amp_dac_v={self.rf_amp_dac_v!r}, aux_amp_dac_v={self.aux_amp_dac_v!r})"
    )
    _k.TMPacket.__repr__ = lambda self: (
        f"TMPacket(index={self.index()}, type={self.get_type()}, "
        f"relative_timestamp={self.relative_timestamp():.6f})"
    )
    _k.TMDatapoint.__repr__ = lambda self: (
        f"TMDatapoint(unix_timestamp={self.unix_timestamp!r}, "
        f"relative_timestamp={self.relative_timestamp!r}, value={self.value!r})"
    )
    _k.MetaMarker.__repr__ = lambda self: (
        f"MetaMarker(id={self.metaMarkerId}, index={self.index}, "
        f"start={self.startRelativeTimeInSecs}, end={self.endRelativeTimeInSecs}, msg={self.msg!r})"
    )
