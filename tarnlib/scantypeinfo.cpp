#include <tarnlib/scantypeinfo.h>

#include <gselib/datainterpretation.h>
#include <gselib/tmdatabase.h>

namespace TarGse {

ScanTypeInfo::ScanTypeInfo(const QVariantMap& entry)
    : name(entry.value(QStringLiteral("name")).toString()),
      key(entry.value(QStringLiteral("key")).toUInt()),
      hkid(entry.value(QStringLiteral("hkid")).toUInt()),
      rawLabel(entry.value(QStringLiteral("rawlabel")).toString()),
      defaultToSci(entry.value(QStringLiteral("defaulttosci")).toBool()) {}

double ScanTypeInfo::defaultApply(double raw) const {
    if (!defaultToSci || hkid < 1) {
        return raw;
    }
    const GseLib::DataInterpretation* engine = GseLib::DataInterpretation::current();
    if (!engine) {
        return raw;
    }
    bool ok = false;
    const double value = engine->convertValue(int(hkid), raw, Gse::ValueMode::Sci, &ok);
    return ok ? value : raw;
}

QString ScanTypeInfo::defaultApplyStr(double raw) const {
    const double value = defaultApply(raw);
    QString units = rawLabel;
    const GseLib::DataInterpretation* engine = GseLib::DataInterpretation::current();
    const bool converted =
        defaultToSci && hkid >= 1 && engine && engine->db() && engine->db()->contains(hkid);
    if (converted) {
        units = engine->db()->row(hkid).units(Gse::ValueMode::Sci);
        return QStringLiteral("%1%2 (%3)").arg(value).arg(units).arg(raw);
    }
    return QStringLiteral("%1%2").arg(value).arg(units);
}

}  // namespace TarGse
