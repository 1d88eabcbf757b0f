#pragma once

#include <gselib/discretelabel.h>

#include <QMap>
#include <QString>
#include <tuple>
#include <vector>

namespace GseLib {

/**
 * @brief The labels of a mnemonic's values, kept in ascending order of their lower bounds.
 *
 * Text form: definitions separated by ";", e.g. "0=OFF;1=ON;2..5=FAULT". A value gets the label
 * of the first definition, in that order, whose range contains it.
 */
class DiscreteLabels {
public:
    static DiscreteLabels fromString(const QString& text);

    /// Inserts before the first label with a greater lower bound (equal bounds keep their order).
    void insert(const DiscreteLabel& label);
    QString label(long long value) const;
    QString label(double value) const;
    /// The definitions joined by ";".
    QString toString() const;
    /// (min, max, label) of every label with a range.
    std::vector<std::tuple<double, double, QString>> toVector() const;
    /// Range text ("v" or "min..max") to label, for labels with a range.
    QMap<QString, QString> toMap() const;

    bool isEmpty() const { return labels_.empty(); }
    const std::vector<DiscreteLabel>& labels() const { return labels_; }
    bool operator==(const DiscreteLabels& o) const { return labels_ == o.labels_; }

private:
    std::vector<DiscreteLabel> labels_;
};

}  // namespace GseLib
