#pragma once

#include <gselib/gse.h>
#include <gselib/transferfunc.h>

#include <cstdint>
#include <memory>
#include <ostream>

namespace GseLib {

/**
 * @brief A yellow and a red limit on a mnemonic, checked in raw, engineering or science units.
 *
 * The limit type code packs the value mode in bits 0-1 (0 none, 1 raw, 2 engineering, 3 science)
 * and the comparison in bits 2-3 (0 below, 1 above, 2 equal, 3 not equal).
 */
class LimitChecker {
public:
    enum Comparison { Below = 0, Above = 1, Equal = 2, NotEqual = 3 };
    enum Violation { YellowViolated = 1, RedViolated = 2 };

    void setLimitType(uint64_t code);
    void setYellowLimit(double limit);
    void setRedLimit(double limit);
    void setConversions(std::shared_ptr<TransferFunc> eng, std::shared_ptr<TransferFunc> sci,
                        bool sciFromEng);
    /// Consecutive violations before an alarm; values below 1 count as 1.
    void setPersistence(int samples);

    /// Bit 0 set when the yellow limit is violated, bit 1 when the red one is; 0 when invalid.
    int checkLimit(double value) const;
    /// A raw value in the checker's value mode, converted as checkLimit converts it.
    double convert(double raw) const;
    /// checkLimit's bits for a value already in the checker's value mode (convert's result).
    int checkConverted(double value) const;
    /// Whether the transfer functions the value mode needs are there: without them checkLimit
    /// compares an unconverted value.
    bool canConvert() const;

    bool isValid() const { return valid_; }
    bool hasYellow() const { return hasYellow_; }
    bool hasRed() const { return hasRed_; }
    uint64_t type() const { return type_; }
    Gse::ValueMode valueMode() const { return valueMode_; }
    int comparison() const { return comparison_; }
    int persistence() const { return persistence_; }
    double yellow() const { return yellow_; }
    double red() const { return red_; }
    bool sciFromEng() const { return sciFromEng_; }

    bool operator==(const LimitChecker& o) const;
    bool operator!=(const LimitChecker& o) const { return !(*this == o); }

private:
    bool violates(double value, double limit) const;

    bool valid_ = false;
    bool hasYellow_ = false;
    bool hasRed_ = false;
    uint64_t type_ = 0;
    Gse::ValueMode valueMode_ = Gse::ValueMode::Raw;
    int comparison_ = Below;
    int persistence_ = 1;
    double yellow_ = 0.0;
    double red_ = 0.0;
    std::shared_ptr<TransferFunc> engConversion_;
    std::shared_ptr<TransferFunc> sciConversion_;
    bool sciFromEng_ = false;
};

std::ostream& operator<<(std::ostream& out, const LimitChecker& checker);

}  // namespace GseLib
