// The list classes behave as lists do: equal to a list or tuple of equal elements, unhashable
// (they change), shown with their elements, and copied, deep-copied and pickled by value (the
// default would wrap the same C++ vector twice, both owning it). Results travel to other
// processes (multiprocessing, caches) and get copied.
%define K814_LIST_ADDONS(ELEMENT)
%extend std::vector<ELEMENT> {
%pythoncode %{
def __eq__(self, other):
    if isinstance(other, (list, tuple, ListOfIntegers, ListOfFloats, ListOfRfStatusEntrys,
                          ListOfTMDatapoints, ListOfMetaMarkers)):
        return list(self) == list(other)
    return NotImplemented

def __ne__(self, other):
    eq = self.__eq__(other)
    return eq if eq is NotImplemented else not eq

__hash__ = None

def __repr__(self):
    return f"{type(self).__name__}({list(self)!r})"

def __reduce__(self):
    return type(self), (list(self),)

def __copy__(self):
    return type(self)(self)

def __deepcopy__(self, memo):
    import copy

    return type(self)(copy.deepcopy(list(self), memo))
%}
}
%enddef

K814_LIST_ADDONS(int)
K814_LIST_ADDONS(double)
K814_LIST_ADDONS(k814util::RfStatusEntry)
K814_LIST_ADDONS(k814util::TMDatapoint)
K814_LIST_ADDONS(TarGse::MetaMarker)
