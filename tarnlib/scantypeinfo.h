#pragma once

#include <QString>
#include <QVariantMap>
#include <cstdint>

namespace TarGse {

/**
 * @brief One special scan type of the scan-type table: the special scan id a scan status reports,
 * and how that scan's raw scan value is shown (through a telemetry database item or as it is).
 */
class ScanTypeInfo {
public:
    ScanTypeInfo() = default;
    /// Reads one table entry ("name", "key", "hkid", "rawlabel", "defaulttosci"); absent keys
    /// leave their defaults.
    explicit ScanTypeInfo(const QVariantMap& entry);

    /// The science value of raw through item hkid when defaulttosci is set and hkid >= 1;
    /// raw otherwise.
    double defaultApply(double raw) const;
    /// defaultApply(raw) for display: "%1%2" (value, units), or "%1%2 (%3)" with the raw value
    /// when a conversion was applied.
    QString defaultApplyStr(double raw) const;

    QString name;
    uint32_t key = 0;
    uint32_t hkid = 0;
    QString rawLabel;
    bool defaultToSci = false;
};

}  // namespace TarGse
