#include <k814util/interpretscanvalue.h>

#include <gselib/config814.h>
#include <gselib/dactable.h>
#include <gselib/datainterpretation.h>
#include <k814util/k814util.h>
#include <tarnlib/scanconversions.h>
#include <tarnlib/scantypesinfo.h>

#include <QDateTime>
#include <QFileInfo>
#include <stdexcept>

namespace k814util {

namespace {

// The scan-type table of the bound configuration, read again only when its file changes: scripts
// call this once per scan, and a malformed file should be reported once, not once a scan.
const TarGse::ScanTypesInfo& scanTypes() {
    static TarGse::ScanTypesInfo table;
    static QString readPath;
    static QDateTime readTime;
    static qint64 readSize = -1;
    using GseLib::Config814;
    const QString path = Config814::getTmDefinitionsDir(Config814::getDefaultGroup()) + "/" +
                         QLatin1String(TarGse::ScanTypesInfo::CFG_FILENAME);
    const QFileInfo file(path);
    const QDateTime time = file.exists() ? file.lastModified() : QDateTime();
    const qint64 size = file.exists() ? file.size() : -1;
    if (path != readPath || time != readTime || size != readSize) {
        table.reload(path);
        readPath = path;
        readTime = time;
        readSize = size;
    }
    return table;
}

}  // namespace

double interpretScanValue(int specialScanId, int rawValue) {
    if (!k814utilIsInitialized) {
        throw std::runtime_error(
            "k814util is not initialized: interpretScanValue reads the scan-type table and DAC "
            "table of the bound test; bind a telemetry file first (k814util.open, k814util.scans)");
    }
    const TarGse::ScanTypesInfo& table = scanTypes();
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
