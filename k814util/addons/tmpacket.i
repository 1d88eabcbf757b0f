// A packet shows its position, type and time.
%extend k814util::TMPacket {
%pythoncode %{
def __repr__(self):
    return (
        f"TMPacket(index={self.index()}, type={self.get_type()}, "
        f"relative_timestamp={self.relative_timestamp():.6f})"
    )
%}
}
