// The scans of a TARN file as a sequence, and the scan objects' own description.
%extend k814util::ScienceDataCacheWrapper {
%pythoncode %{
def __len__(self):
    from k814util._binding import ensure_current

    ensure_current(self)
    return self.size()

def __getitem__(self, index):
    from k814util._binding import ensure_current

    ensure_current(self)
    if isinstance(index, slice):
        return [self.get_scan(i) for i in range(*index.indices(self.size()))]
    from k814util._sequence import position

    return self.get_scan(position(index, self.size()))

def __iter__(self):
    from k814util._binding import ensure_current

    ensure_current(self)
    for i in range(self.size()):
        yield self.get_scan(i)

def __repr__(self):
    from k814util._binding import StaleBindingError, ensure_current

    try:
        ensure_current(self)
    except StaleBindingError:
        return "ScienceDataCacheWrapper(stale: the process has been bound to another file since)"
    return f"ScienceDataCacheWrapper({self.size()} scans)"
%}
}

%extend k814util::PythonStyleTarnScan {
%pythoncode %{
def __repr__(self):
    return (
        f"PythonStyleTarnScan(relative_timestamp={self.relative_timestamp():.6f}, "
        f"src_pkt_type={self.src_pkt_type()}, bins={len(self.counts())}, "
        f"mode={self.scan_mode_as_string()!r})"
    )
%}
}
