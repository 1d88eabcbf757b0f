// The VIREO test markers: a sequence of markers, each shown with its fields.
%extend k814util::PyVireoMarker {
%pythoncode %{
def __repr__(self):
    end = self.t_end_us() if self.is_complete() else "open"
    return (
        f"PyVireoMarker(id={self.marker_id()}, type={self.marker_type()}, "
        f"t_start_us={self.t_start_us()}, t_end_us={end}, text={self.text()!r})"
    )
%}
}

%extend k814util::PyVireoMarkerCache {
%pythoncode %{
def __len__(self):
    return self.size()

def __getitem__(self, index):
    from k814util._sequence import item_of

    return item_of(self, index, self.size(), self.get)

def __iter__(self):
    for i in range(self.size()):
        yield self.get(i)
%}
}
