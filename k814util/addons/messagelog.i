// The message log: a sequence of lines, each shown with its time and text.
%extend k814util::PyMsgLogLine {
%pythoncode %{
def __repr__(self):
    return f"PyMsgLogLine(unixTime={self.unixTime():.6f}, msg={self.msg()!r})"

def __str__(self):
    return self.msg()
%}
}

%extend k814util::PyMsgLogCache {
%pythoncode %{
def __len__(self):
    from k814util._binding import ensure_current

    ensure_current(self)
    return self.size()

def __getitem__(self, index):
    from k814util._binding import ensure_current
    from k814util._sequence import item_of

    ensure_current(self)
    return item_of(self, index, self.size(), self.get)

def __iter__(self):
    from k814util._binding import ensure_current

    ensure_current(self)
    for i in range(self.size()):
        yield self.get(i)
%}
}
