#include <gselib/dataitem.h>

#include <gselib/tmdatabaseparser.h>

namespace GseLib {

QString DataItem::toString() const {
    switch (value.index()) {
        case 0:
            return QString::number(std::get<double>(value), 'f', 6);
        case 1:
            return QString::number(std::get<int64_t>(value));
        case 2:
            return QString::number(std::get<uint64_t>(value));
        case 3:
            return QString::fromLatin1(std::get<QByteArray>(value));
        default:
            return QString();
    }
}

double DataItem::toDouble() const {
    switch (value.index()) {
        case 0:
            return std::get<double>(value);
        case 1:
            return static_cast<double>(std::get<int64_t>(value));
        case 2:
            return static_cast<double>(std::get<uint64_t>(value));
        case 3: {
            double d = 0.0;
            return parseDouble(QString::fromLatin1(std::get<QByteArray>(value)), d) ? d : 0.0;
        }
        default:
            return 0.0;
    }
}

}  // namespace GseLib
