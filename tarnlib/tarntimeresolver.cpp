#include <tarnlib/tarntimeresolver.h>

#include <gselib/tmpacket.h>
#include <tarnlib/tarntime.h>

#include <cmath>
#include <stdexcept>

namespace TarGse {

TarnTimeResolver::TarnTimeResolver() {
    entries_.reserve(RESERVED_ENTRIES);
}

void TarnTimeResolver::reset() {
    resetState();
}

void TarnTimeResolver::resetState() {
    entries_.clear();  // keeps the reservation
    t0_.reset();
    t0Position_ = 0;
    t0Raw_ = 0;
    noT0_ = true;
    t0Fallback_ = t0Estimate_ = latestUnix_ = 0.0;
    latestTimePacket_.reset();
    notSynced_ = true;
    waiting_ = true;
    lastRawByType_.clear();
    clockResetPositions_.clear();
    gsePositions_.clear();
    type10Positions_.clear();
    type45Positions_.clear();
    type46Positions_.clear();
    backfill10_ = backfill45_ = backfill46_ = true;
    latestType7HadNoTimeFields_ = false;
    correctedCount_ = 0;
}

void TarnTimeResolver::setT0Fallback(double unixSeconds) {
    t0Fallback_ = t0Estimate_ = latestUnix_ = unixSeconds;
}

long long TarnTimeResolver::secondsToTicks(double seconds) const {
    return static_cast<long long>(std::trunc(seconds * 10000.0));
}

double TarnTimeResolver::base() const {
    return noT0_ || t0Position_ >= entries_.size() ? t0Estimate_ : entries_[t0Position_].first;
}

double TarnTimeResolver::unixTime(const GseLib::TMPacket* p) const {
    const size_t i = static_cast<size_t>(p->index());
    return p->index() >= 0 && i < entries_.size() ? entries_[i].first : 0.0;
}

double TarnTimeResolver::unixTime(const GseLib::TMPacket* p, long long ticks) const {
    return unixTimeForTick0(static_cast<size_t>(std::max(p->index(), 0))) + ticks / 10000.0;
}

double TarnTimeResolver::relativeTime(const GseLib::TMPacket* p) const {
    const size_t i = static_cast<size_t>(p->index());
    return p->index() >= 0 && i < entries_.size() ? entries_[i].first - base() : 0.0;
}

double TarnTimeResolver::relativeTime(const GseLib::TMPacket* p, long long ticks) const {
    return unixTime(p, ticks) - base();
}

double TarnTimeResolver::unixTimeForTick0(size_t i) const {
    return i < entries_.size() ? entries_[i].second : 0.0;
}

double TarnTimeResolver::relativeTimeForTick0(size_t i) const {
    return i < entries_.size() ? entries_[i].second - base() : 0.0;
}

void TarnTimeResolver::raiseLatest(double unix) {
    if (unix > latestUnix_) {
        latestUnix_ = unix;
    }
}

void TarnTimeResolver::append(double unix, double tick0) {
    entries_.emplace_back(unix, tick0);
    raiseLatest(unix);
}

void TarnTimeResolver::addToPktTimeVector(const GseLib::TMPacket& p,
                                          const GseLib::TMPacket& timePacket) {
    const double tick0 = getUnixTimeForTick0(timePacket);
    append(convertPktTimestampToUnixTime(p, tick0), tick0);
}

void TarnTimeResolver::addOwnTimes(const GseLib::TMPacket& timePacket) {
    addToPktTimeVector(timePacket, timePacket);
}

void TarnTimeResolver::fudgeTimestampAndAddToPktTimeVector(const GseLib::TMPacket& p) {
    // Nothing yet says when the restarted clock started: park the packet just after the latest
    // time known, to be re-based by the next time packet.
    const double tick0 = latestUnix_ + 10.0;
    append(tick0 + p.rawTimestamp() / 10000.0, tick0);
}

void TarnTimeResolver::alterPktTimeVectorEntry(const GseLib::TMPacket& timePacket, size_t i) {
    if (i >= entries_.size()) {
        throw std::domain_error("alterPktTimeVectorEntry() was passed an invalid index.");
    }
    const double shift = getUnixTimeForTick0(timePacket) - entries_[i].second;
    entries_[i].first += shift;
    entries_[i].second += shift;
    raiseLatest(entries_[i].first);
}

void TarnTimeResolver::correctGseTimestamps(std::vector<size_t>& positions, double step) {
    if (entries_.empty()) {
        return;
    }
    const double last = entries_.back().first;
    double k = 1.0;
    for (auto it = positions.rbegin(); it != positions.rend(); ++it, k += 1.0) {
        Entry& e = entries_.at(*it);
        const double difference = e.first - e.second;
        e.first = last - k * step;
        e.second = e.first - difference;
    }
}

bool TarnTimeResolver::handlePacket(const std::shared_ptr<GseLib::TMPacket>& packet) {
    const GseLib::TMPacket& p = *packet;
    const size_t n = entries_.size();
    const int type = p.type();
    const bool gse = p.isGseCreated();

    if (noT0_ && !gse) {
        t0_ = packet;
        t0Position_ = n;
        t0Raw_ = p.rawTimestamp();
        noT0_ = false;
    }
    const bool timePacket = isTimePkt(p);
    if (timePacket) {
        latestTimePacket_ = packet;
    }
    if (type == 7) {
        latestType7HadNoTimeFields_ = !timePacket;
    }

    if (!notSynced_) {
        if (gse) {
            addToPktTimeVector(p, *latestTimePacket_);
            if ((latestType7HadNoTimeFields_ && !noT0_) || (waiting_ && type == 46)) {
                gsePositions_.push_back(n);
            }
        } else if (timePacket) {
            addOwnTimes(p);
            if (waiting_) {
                for (size_t i : clockResetPositions_) {
                    alterPktTimeVectorEntry(p, i);
                }
                clockResetPositions_.clear();
                waiting_ = false;
                ++correctedCount_;
            }
            if (!gsePositions_.empty()) {
                for (size_t i : gsePositions_) {
                    alterPktTimeVectorEntry(p, i);
                }
                gsePositions_.clear();
                ++correctedCount_;
            }
        } else {
            const auto last = lastRawByType_.find(type);
            const bool continuous =
                (last == lastRawByType_.end() || p.rawTimestamp() >= last->second) &&
                !isBootLoaderPkt(p) && type != 7;
            if (!continuous && !waiting_) {
                waiting_ = true;
                lastRawByType_.clear();
            }
            if (waiting_) {
                fudgeTimestampAndAddToPktTimeVector(p);
                clockResetPositions_.push_back(n);
            } else {
                addToPktTimeVector(p, *latestTimePacket_);
            }
        }
    } else if (timePacket) {
        addOwnTimes(p);
        for (size_t i = 0; i < entries_.size(); ++i) {
            alterPktTimeVectorEntry(p, i);
        }
        if (!noT0_ && entries_.size() > 1 && t0Position_ < entries_.size()) {
            entries_[0] = entries_[t0Position_];
            entries_[1] = entries_[t0Position_];
        }
        notSynced_ = false;
        waiting_ = false;
        ++correctedCount_;
    } else {
        append(t0Fallback_ + p.rawTimestamp() / 10000.0, t0Fallback_);
        if (type == 45) {
            type45Positions_.push_back(n);
        } else if (type == 46) {
            type46Positions_.push_back(n);
        } else if (type == 10 || type == 74 || type == 138) {
            type10Positions_.push_back(n);
        }
    }

    if (!waiting_) {
        if (type == 10 && backfill10_) {
            correctGseTimestamps(type10Positions_, 1.0);
            backfill10_ = false;
            ++correctedCount_;
        } else if (type == 45 && backfill45_) {
            correctGseTimestamps(type45Positions_, 1.0);
            backfill45_ = false;
            ++correctedCount_;
        } else if (type == 46 && backfill46_) {
            correctGseTimestamps(type46Positions_, 1.0);
            backfill46_ = false;
            ++correctedCount_;
        }
    }
    lastRawByType_[type] = p.rawTimestamp();
    return true;
}

}  // namespace TarGse
