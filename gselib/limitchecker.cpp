#include <gselib/limitchecker.h>

#include <gselib/polyfit.h>

namespace GseLib {

void LimitChecker::setLimitType(uint64_t code) {
    type_ = code;
    comparison_ = static_cast<int>((code >> 2) & 3u);
    switch (code & 3u) {
        case 1:
            valid_ = true;
            valueMode_ = Gse::ValueMode::Raw;
            break;
        case 2:
            valid_ = true;
            valueMode_ = Gse::ValueMode::Eng;
            break;
        case 3:
            valid_ = true;
            valueMode_ = Gse::ValueMode::Sci;
            break;
        default:
            valid_ = false;
            break;
    }
}

void LimitChecker::setYellowLimit(double limit) {
    yellow_ = limit;
    hasYellow_ = true;
}

void LimitChecker::setRedLimit(double limit) {
    red_ = limit;
    hasRed_ = true;
}

void LimitChecker::setConversions(std::shared_ptr<TransferFunc> eng,
                                  std::shared_ptr<TransferFunc> sci, bool sciFromEng) {
    engConversion_ = std::move(eng);
    sciConversion_ = std::move(sci);
    sciFromEng_ = sciFromEng;
}

bool LimitChecker::violates(double value, double limit) const {
    switch (comparison_) {
        case Below:
            return limit > value;
        case Above:
            return value > limit;
        case Equal:
            return value == limit;
        default:
            return value != limit;  // NaN is never equal, so it violates
    }
}

void LimitChecker::setPersistence(int samples) {
    persistence_ = samples < 1 ? 1 : samples;
}

double LimitChecker::convert(double raw) const {
    double v = raw;
    switch (valueMode_) {
        case Gse::ValueMode::Eng:
            v = engConversion_ ? engConversion_->apply(raw) : raw;
            break;
        case Gse::ValueMode::Sci:
            if (sciFromEng_ && engConversion_) {
                v = engConversion_->apply(raw);
            }
            v = sciConversion_ ? sciConversion_->apply(v) : v;
            break;
        case Gse::ValueMode::Raw:
            break;
    }
    return v;
}

bool LimitChecker::canConvert() const {
    switch (valueMode_) {
        case Gse::ValueMode::Eng:
            return engConversion_ != nullptr;
        case Gse::ValueMode::Sci:
            return sciConversion_ != nullptr && (!sciFromEng_ || engConversion_ != nullptr);
        case Gse::ValueMode::Raw:
            break;
    }
    return true;
}

int LimitChecker::checkConverted(double value) const {
    if (!valid_) {
        return 0;
    }
    int bits = 0;
    if (hasYellow_ && violates(value, yellow_)) {
        bits |= YellowViolated;
    }
    if (hasRed_ && violates(value, red_)) {
        bits |= RedViolated;
    }
    return bits;
}

int LimitChecker::checkLimit(double value) const {
    return valid_ ? checkConverted(convert(value)) : 0;
}

bool LimitChecker::operator==(const LimitChecker& o) const {
    return valid_ == o.valid_ && hasYellow_ == o.hasYellow_ && hasRed_ == o.hasRed_ &&
           type_ == o.type_ && nr::isAlmostEqual(yellow_, o.yellow_, 1e-12) &&
           nr::isAlmostEqual(red_, o.red_, 1e-12) && sciFromEng_ == o.sciFromEng_;
}

std::ostream& operator<<(std::ostream& out, const LimitChecker& c) {
    return out << "valid=" << c.isValid() << " has_yellow=" << c.hasYellow()
               << " has_red=" << c.hasRed() << " type=" << c.type()
               << " valuemode=" << static_cast<int>(c.valueMode())
               << " comparison=" << c.comparison() << " persistence=" << c.persistence()
               << " yellow=" << c.yellow() << " red=" << c.red()
               << " sci_from_eng=" << c.sciFromEng();
}

}  // namespace GseLib
