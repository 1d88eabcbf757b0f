#pragma once

#include <k814util/pyvireomarker.h>

#include <vector>

namespace k814util {

/**
 * @brief Every VIREO test marker of the bound telemetry file, completed and still open, sorted
 * by start time.
 */
class PyVireoMarkerCache {
public:
    /// Reads the markers of the shared packet cache from its start.
    PyVireoMarkerCache();

    unsigned int size() const { return static_cast<unsigned int>(markers_.size()); }
    /// @throw std::out_of_range for an index not below size()
    PyVireoMarker get(unsigned int index) const;

private:
    std::vector<PyVireoMarker> markers_;
};

}  // namespace k814util
