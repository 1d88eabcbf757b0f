#pragma once

#include <QString>
#include <variant>

namespace GseLib {

/**
 * @brief A name for one value or a range of values ("0=OFF", "2..5=FAULT", "-1.5..1.5=NOMINAL").
 *
 * Bounds are integers unless the definition wrote a fraction or an exponent. A definition that
 * does not parse leaves a label without range, which never matches.
 */
class DiscreteLabel {
public:
    using Bound = std::variant<long long, double>;

    DiscreteLabel() = default;
    /// Parses "RANGE=LABEL".
    explicit DiscreteLabel(const QString& text);
    /// Parses range and label, and sets the definition text from the parsed bounds.
    DiscreteLabel(const QString& range, const QString& label, const QString& altLabel);

    /// Sets bounds and labels from the texts; returns whether the range parsed.
    bool fromString(const QString& range, const QString& label, const QString& altLabel);

    bool contains(long long v) const;
    bool contains(double v) const;
    bool hasRange() const { return hasRange_; }
    bool isDouble() const { return std::holds_alternative<double>(min_); }
    double minValue() const;
    double maxValue() const;

    QString label() const { return label_; }
    QString altLabel() const { return altLabel_; }
    QString text() const { return text_; }
    bool reversed() const { return reversed_; }

    bool operator==(const DiscreteLabel& o) const;

private:
    Bound min_{0LL};
    Bound max_{0LL};
    QString altLabel_;
    QString label_;
    QString text_;
    bool reversed_ = false;
    bool hasRange_ = false;
};

}  // namespace GseLib
