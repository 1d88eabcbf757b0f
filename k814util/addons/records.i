// The record classes compare by their fields (SWIG would compare addresses), are unhashable
// (their fields are writable), show their fields and pickle by their fields.
%define K814_RECORD_ADDONS(CLASS, FIELDS)
%extend CLASS {
%pythoncode %{
_fields = FIELDS

def __eq__(self, other):
    if type(other) is not type(self):
        return NotImplemented
    return all(getattr(self, n) == getattr(other, n) for n in self._fields)

__hash__ = None

def __reduce__(self):
    return type(self), (), {n: getattr(self, n) for n in self._fields}

def __setstate__(self, state):
    for name, value in state.items():
        setattr(self, name, value)
%}
}
%enddef

K814_RECORD_ADDONS(k814util::TMDatapoint, ("unix_timestamp", "relative_timestamp", "value"))
K814_RECORD_ADDONS(k814util::RfStatusEntry,
                   ("start_bin", "rf_amp_v", "rf_amp_dac_v", "aux_amp_dac_v"))
K814_RECORD_ADDONS(TarGse::MetaMarker, ("metaMarkerId", "index", "startRelativeTimeInSecs",
                                        "endRelativeTimeInSecs", "msg"))

%extend k814util::TMDatapoint {
%pythoncode %{
def __repr__(self):
    return (
        f"TMDatapoint(unix_timestamp={self.unix_timestamp!r}, "
        f"relative_timestamp={self.relative_timestamp!r}, value={self.value!r})"
    )
%}
}

%extend k814util::RfStatusEntry {
%pythoncode %{
def __repr__(self):
    return (
        f"RfStatusEntry(start_bin={self.start_bin}, rf_amp_v={self.rf_amp_v!r}, "
        f"rf_amp_dac_v={self.rf_amp_dac_v!r}, aux_amp_dac_v={self.aux_amp_dac_v!r})"
    )
%}
}

%extend TarGse::MetaMarker {
%pythoncode %{
def __repr__(self):
    return (
        f"MetaMarker(id={self.metaMarkerId}, index={self.index}, "
        f"start={self.startRelativeTimeInSecs}, end={self.endRelativeTimeInSecs}, msg={self.msg!r})"
    )
%}
}
