#include <tarnlib/masscalentry.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QVariant>
#include <cmath>
#include <vector>

namespace TarGse {

const QString MassCalEntry::KEY_PHASE_CYCLE = QStringLiteral("phase_cycle");
const QString MassCalEntry::KEY_ORDER = QStringLiteral("order");
const QString MassCalEntry::KEY_RMS = QStringLiteral("rms");
const QString MassCalEntry::KEY_CONSTANTS = QStringLiteral("constants");
const QString MassCalEntry::KEY_DATA_POINTS = QStringLiteral("data_points");
const QString MassCalEntry::KEY_CONTROL = QStringLiteral("control");
const QString MassCalEntry::KEY_AMU = QStringLiteral("amu");
const QStringList MassCalEntry::ALLKEYS = {KEY_ORDER, KEY_RMS, KEY_CONSTANTS, KEY_DATA_POINTS};

MassCalEntry::MassCalEntry(int version, const QString& text) {
    if (version >= 2) {
        loadV2(text);
    } else {
        loadV1(text);
    }
}

double MassCalEntry::apply(double x) const {
    switch (type()) {
        case Identity:
            return x;
        case Linear:
            return a() + b() * x;
        default:
            return a() + b() * x + c() * x * x;
    }
}

void MassCalEntry::addReadPoint(bool okControl, double control, bool okAmu, double amu) {
    // "nan" and "inf" read as numbers, but they are no calibration point: a NaN control would
    // break the ordering of the points, and either would turn the whole fit into NaN.
    if (okControl && okAmu && std::isfinite(control) && std::isfinite(amu)) {
        dataPoints_[control] = amu;
    }
}

void MassCalEntry::loadV1(const QString& text) {
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (lines.isEmpty() || lines.front().split(QLatin1Char('\t'), Qt::SkipEmptyParts).size() != 4) {
        return;
    }
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QStringList fields = lines[i].split(QLatin1Char('\t'), Qt::SkipEmptyParts);
        if (fields.size() != 2) {
            continue;
        }
        bool okControl = false;
        bool okAmu = false;
        const double control = fields[CONTROL_POS].toDouble(&okControl);
        const double amu = fields[AMU_POS].toDouble(&okAmu);
        addReadPoint(okControl, control, okAmu, amu);
    }
    order_ = 1;
    calculateFit();
    valid_ = true;
}

void MassCalEntry::loadV2(const QString& text) {
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8());
    if (!doc.isObject()) {
        return;
    }
    const QVariantMap map = doc.object().toVariantMap();
    for (const QString& key : ALLKEYS) {
        if (!map.contains(key)) {
            return;
        }
    }
    bool ok = false;
    const int phaseCycle = map.value(KEY_PHASE_CYCLE).toInt(&ok);
    if (!ok) {
        return;
    }
    map.value(KEY_RMS).toDouble(&ok);
    if (!ok) {
        return;
    }
    for (const QVariant& point : map.value(KEY_DATA_POINTS).toList()) {
        if (point.typeId() != QMetaType::QVariantMap) {
            continue;
        }
        const QVariantMap p = point.toMap();
        if (p.size() != 2 || !p.contains(KEY_CONTROL) || !p.contains(KEY_AMU)) {
            continue;
        }
        bool okControl = false;
        bool okAmu = false;
        const double control = p.value(KEY_CONTROL).toDouble(&okControl);
        const double amu = p.value(KEY_AMU).toDouble(&okAmu);
        addReadPoint(okControl, control, okAmu, amu);
    }
    phaseCycle_ = phaseCycle;
    const int order = map.value(KEY_ORDER).toInt();
    order_ = order < 2 ? 1 : order;
    calculateFit();
    valid_ = true;
}

void MassCalEntry::calculateFit() {
    if (dataPoints_.size() < 2) {
        change(0.0, 1.0, 0.0);
        rms_ = 0.0;
        return;
    }
    std::vector<double> x;
    std::vector<double> y;
    for (const auto& [control, amu] : dataPoints_) {
        x.push_back(control);
        y.push_back(amu);
    }
    rms_ = fit(x.data(), y.data(), static_cast<unsigned>(x.size()), order_);
}

void MassCalEntry::addDataPoint(double control, double amu) {
    dataPoints_[control] = amu;
    calculateFit();
}

bool MassCalEntry::removeDataPoint(double control) {
    if (dataPoints_.erase(control) == 0) {
        return false;
    }
    calculateFit();
    return true;
}

void MassCalEntry::setOrder(int order) {
    if (order != 1 && order != 2) {
        return;
    }
    order_ = order;
    calculateFit();
}

QJsonObject MassCalEntry::toJson() const {
    QJsonArray points;
    for (const auto& [control, amu] : dataPoints_) {
        points.append(QJsonObject{{KEY_CONTROL, control}, {KEY_AMU, amu}});
    }
    return QJsonObject{{KEY_PHASE_CYCLE, phaseCycle_},
                       {KEY_RMS, rms_},
                       {KEY_ORDER, order_},
                       {KEY_CONSTANTS, QJsonArray{a(), b(), c()}},
                       {KEY_DATA_POINTS, points}};
}

QString MassCalEntry::toString() const {
    return QString::fromUtf8(QJsonDocument(toJson()).toJson(QJsonDocument::Compact));
}

bool MassCalEntry::operator==(const MassCalEntry& o) const {
    return dataPoints_ == o.dataPoints_ && polynomial() == o.polynomial() && valid_ == o.valid_ &&
           rms_ == o.rms_ && phaseCycle_ == o.phaseCycle_;
}

}  // namespace TarGse
