#include <k814util/pyvireomarker.h>

#include <vireolib/marker.h>

namespace k814util {

PyVireoMarker::PyVireoMarker(const VireoGse::Marker& marker)
    : tStartUs_(marker.startTimeUnixMicroSecs()),
      tEndUs_(marker.endTimeUnixMicroSecs()),
      markerId_(marker.markerId()),
      markerType_(marker.markerType()),
      text_(marker.text().toStdString()),
      complete_(marker.isComplete()) {}

}  // namespace k814util
