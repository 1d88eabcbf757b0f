#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace GseLib {

/**
 * @brief One user annotation of a test, as kept in tm.meta's "annotations" array.
 */
class Annotation {
public:
    static const QString KEY_KEY;
    static const QString KEY_X;
    static const QString KEY_TEXT;
    static const QString KEY_RELEVANT_HKIDS;

    Annotation() = default;
    Annotation(int key, double x, const QString& text, const QList<int>& relevantHkids);

    static Annotation fromMap(const QVariantMap& map);
    /// Every element that converts to a map, in order; others are skipped.
    static QList<Annotation> fromVariantList(const QVariantList& list);
    static QJsonArray toJsonArray(const QList<Annotation>& list);

    QJsonObject toJson() const;
    QStringList relevantHkidsStringList() const;

    int key() const { return key_; }
    double x() const { return x_; }
    QString text() const { return text_; }
    QList<int> relevantHkids() const { return relevantHkids_; }

    /// Equal key, text and ids, and x within 1e-5.
    bool operator==(const Annotation& other) const;
    bool operator!=(const Annotation& other) const { return !(*this == other); }

private:
    int key_ = 0;
    double x_ = 0.0;
    QString text_;
    QList<int> relevantHkids_;
};

}  // namespace GseLib
