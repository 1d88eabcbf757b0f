#pragma once

#include <gselib/range.h>

#include <QString>
#include <functional>
#include <ostream>
#include <vector>

namespace GseLib {

class DataInterpretation;
class TMPacket;

/**
 * @brief The conditions under which a database row applies to a packet.
 *
 * Text form: conditions separated by ";", each "ID=V" or "ID=MIN..MAX" on the raw value of the
 * mnemonic with data ID ID in the same packet. An empty list always applies. Bad bounds are
 * logged and read as 0; parsing never throws.
 */
class ApplyWhen {
public:
    struct Condition {
        int id = 0;
        Range<long long> range;
        bool operator==(const Condition& o) const { return id == o.id && range == o.range; }
    };

    /// The raw value of a data ID in the packet being decoded; sets ok to false when unavailable.
    using RawValueLookup = std::function<double(int dataId, bool* ok)>;

    static ApplyWhen fromString(const QString& text);

    void addCondition(int id, Range<long long> range);
    void clear() { conditions_.clear(); }
    bool isEmpty() const { return conditions_.empty(); }
    const std::vector<Condition>& conditions() const { return conditions_; }

    /**
     * True when every condition holds: the raw value (truncated to an integer) of its data ID is
     * available and within its range. The lookup must decode without applying conditions of its
     * own, so conditions never recurse.
     */
    bool passes(const RawValueLookup& rawValue) const;
    /// passes() with the raw values that di decodes from packet (without their own conditions).
    bool passes(const DataInterpretation* di, const TMPacket* packet) const;

    bool operator==(const ApplyWhen& o) const { return conditions_ == o.conditions_; }
    bool operator!=(const ApplyWhen& o) const { return !(*this == o); }

private:
    std::vector<Condition> conditions_;
};

/// Writes "ID=MIN..MAX" for each condition, separated by ";".
std::ostream& operator<<(std::ostream& out, const ApplyWhen& applyWhen);

}  // namespace GseLib
