#include <gselib/dactable.h>

#include <QFile>

namespace GseLib {

const QByteArray DacTable::unknown = QByteArrayLiteral("unknown");

void DacTable::initialize(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return;
    }
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        if (line.startsWith('#') || line.trimmed().isEmpty()) {
            continue;
        }
        addRow(DacTableRow(line));
    }
}

void DacTable::addRow(const DacTableRow& row) {
    rows_.insert(row.name, row);
    idToName_.insert(row.dacId, row.name);
}

DacTableRow DacTable::row(const char* name) const {
    return rows_.value(QByteArray(name));
}

QByteArray DacTable::name(int dacId) const {
    return idToName_.value(dacId, unknown);
}

void DacTable::clear() {
    rows_.clear();
    idToName_.clear();
    path_.clear();
}

void DacTable::dump(QTextStream& out) const {
    for (const DacTableRow& r : rows_) {
        out << r.dacId << '\t' << r.secondId << '\t' << r.name << '\t' << r.bits << '\t'
            << QStringLiteral("0x%1").arg(r.mask, 4, 16, QLatin1Char('0')) << '\t'
            << (r.isSigned ? 1 : 0) << '\t' << r.offset << '\t' << r.scale << '\n';
    }
}

}  // namespace GseLib
