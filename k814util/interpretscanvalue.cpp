#include <k814util/interpretscanvalue.h>

#include <gselib/dactable.h>
#include <gselib/datainterpretation.h>
#include <tarnlib/scanconversions.h>
#include <tarnlib/scantypesinfo.h>

namespace k814util {

double interpretScanValue(int specialScanId, int rawValue) {
    // The table is small and may be edited between calls of a long session: read it each time.
    TarGse::ScanTypesInfo table;
    table.reload();
    if (specialScanId >= 0) {
        if (const auto entry = table.info(uint32_t(specialScanId))) {
            return entry->defaultApply(rawValue);
        }
    }
    const GseLib::DataInterpretation* engine = GseLib::DataInterpretation::current();
    const std::shared_ptr<GseLib::DacTable> dacs = engine ? engine->dacTable() : nullptr;
    if (dacs && dacs->name(specialScanId) != GseLib::DacTable::unknown) {
        return TarGse::ScanConversions::throughDacRow(specialScanId, uint32_t(rawValue));
    }
    return double(rawValue);
}

}  // namespace k814util
