#include <gselib/annotation.h>

#include <cmath>

namespace GseLib {

const QString Annotation::KEY_KEY = QStringLiteral("key");
const QString Annotation::KEY_X = QStringLiteral("x");
const QString Annotation::KEY_TEXT = QStringLiteral("text");
const QString Annotation::KEY_RELEVANT_HKIDS = QStringLiteral("relevant_hkids");

Annotation::Annotation(int key, double x, const QString& text, const QList<int>& relevantHkids)
    : key_(key), x_(x), text_(text), relevantHkids_(relevantHkids) {}

Annotation Annotation::fromMap(const QVariantMap& map) {
    QList<int> ids;
    const QVariantList hkids = map.value(KEY_RELEVANT_HKIDS).toList();
    ids.reserve(hkids.size());
    for (const QVariant& v : hkids) {
        ids.append(v.toInt());
    }
    return Annotation(map.value(KEY_KEY).toInt(), map.value(KEY_X).toDouble(),
                      map.value(KEY_TEXT).toString(), ids);
}

QList<Annotation> Annotation::fromVariantList(const QVariantList& list) {
    QList<Annotation> out;
    for (const QVariant& v : list) {
        if (v.canConvert<QVariantMap>() && v.typeId() == QMetaType::QVariantMap) {
            out.append(fromMap(v.toMap()));
        }
    }
    return out;
}

QJsonArray Annotation::toJsonArray(const QList<Annotation>& list) {
    QJsonArray array;
    for (const Annotation& a : list) {
        array.append(a.toJson());
    }
    return array;
}

QJsonObject Annotation::toJson() const {
    QJsonArray ids;
    for (int id : relevantHkids_) {
        ids.append(id);
    }
    return QJsonObject{{KEY_KEY, key_}, {KEY_X, x_}, {KEY_TEXT, text_}, {KEY_RELEVANT_HKIDS, ids}};
}

QStringList Annotation::relevantHkidsStringList() const {
    QStringList out;
    for (int id : relevantHkids_) {
        out.append(QString::number(id));
    }
    return out;
}

bool Annotation::operator==(const Annotation& other) const {
    return key_ == other.key_ && text_ == other.text_ && relevantHkids_ == other.relevantHkids_ &&
           std::fabs(x_ - other.x_) <= 1e-5;
}

}  // namespace GseLib
