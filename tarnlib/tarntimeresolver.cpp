#include <tarnlib/tarntimeresolver.h>

#include <gselib/tmpacket.h>
#include <tarnlib/tarntime.h>

#include <cmath>
#include <stdexcept>

namespace TarGse {

TarnTimeResolver::TarnTimeResolver() {
    entries_.reserve(RESERVED_ENTRIES);
    forgetLastRaws();
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
    latestTick0_ = 0.0;
    notSynced_ = true;
    waiting_ = true;
    forgetLastRaws();
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

void TarnTimeResolver::addToPktTimeVector(uint32_t raw, double tick0) {
    // convertPktTimestampToUnixTime, with the raw timestamp already read
    append(tick0 + raw / TICKS_PER_SECOND, tick0);
}

void TarnTimeResolver::fudgeTimestampAndAddToPktTimeVector(uint32_t raw) {
    // Nothing yet says when the restarted clock started: park the packet just after the latest
    // time known, to be re-based by the next time packet.
    const double tick0 = latestUnix_ + 10.0;
    append(tick0 + raw / 10000.0, tick0);
}

void TarnTimeResolver::alterPktTimeVectorEntry(double tick0, size_t i) {
    if (i >= entries_.size()) {
        throw std::domain_error("alterPktTimeVectorEntry() was passed an invalid index.");
    }
    const double shift = tick0 - entries_[i].second;
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
    // Header fields read once: each read is a virtual, bounds-checked look at the bytes.
    const int type = p.type();
    const uint32_t raw = p.rawTimestamp();
    const bool gse = p.isGseCreated();

    if (noT0_ && !gse) {
        t0_ = packet;
        t0Position_ = n;
        t0Raw_ = raw;
        noT0_ = false;
    }
    // Only types 2 and 7 can be time packets (and only type 8 a boot-loader packet); the
    // checks themselves decode items or text, so they are not asked of every packet.
    const bool timePacket = (type == 2 || type == 7) && isTimePkt(p);
    if (timePacket) {
        latestTimePacket_ = packet;
        // Every packet up to the next time packet is stamped with this one's tick-0 time, so it
        // is decoded once here rather than once per packet.
        latestTick0_ = getUnixTimeForTick0(p);
    }
    if (type == 7) {
        latestType7HadNoTimeFields_ = !timePacket;
    }

    if (!notSynced_) {
        if (gse) {
            addToPktTimeVector(raw, latestTick0_);
            if ((latestType7HadNoTimeFields_ && !noT0_) || (waiting_ && type == 46)) {
                gsePositions_.push_back(n);
            }
        } else if (timePacket) {
            addToPktTimeVector(raw, latestTick0_);
            if (waiting_) {
                for (size_t i : clockResetPositions_) {
                    alterPktTimeVectorEntry(latestTick0_, i);
                }
                clockResetPositions_.clear();
                waiting_ = false;
                ++correctedCount_;
            }
            if (!gsePositions_.empty()) {
                for (size_t i : gsePositions_) {
                    alterPktTimeVectorEntry(latestTick0_, i);
                }
                gsePositions_.clear();
                ++correctedCount_;
            }
        } else {
            const int64_t last = lastRaw(type);
            const bool continuous =
                (last < 0 || raw >= last) && !(type == 8 && isBootLoaderPkt(p)) && type != 7;
            if (!continuous && !waiting_) {
                waiting_ = true;
                forgetLastRaws();
            }
            if (waiting_) {
                fudgeTimestampAndAddToPktTimeVector(raw);
                clockResetPositions_.push_back(n);
            } else {
                addToPktTimeVector(raw, latestTick0_);
            }
        }
    } else if (timePacket) {
        addToPktTimeVector(raw, latestTick0_);
        for (size_t i = 0; i < entries_.size(); ++i) {
            alterPktTimeVectorEntry(latestTick0_, i);
        }
        if (!noT0_ && entries_.size() > 1 && t0Position_ < entries_.size()) {
            entries_[0] = entries_[t0Position_];
            entries_[1] = entries_[t0Position_];
        }
        notSynced_ = false;
        waiting_ = false;
        ++correctedCount_;
    } else {
        append(t0Fallback_ + raw / 10000.0, t0Fallback_);
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
    setLastRaw(type, raw);
    return true;
}

int64_t TarnTimeResolver::lastRaw(int type) const {
    if (type >= 0 && type < FLAT_TYPES) {
        return lastRawFlat_[static_cast<size_t>(type)];
    }
    const auto it = lastRawByType_.find(type);
    return it == lastRawByType_.end() ? -1 : int64_t{it->second};
}

void TarnTimeResolver::setLastRaw(int type, uint32_t raw) {
    if (type >= 0 && type < FLAT_TYPES) {
        lastRawFlat_[static_cast<size_t>(type)] = raw;
    } else {
        lastRawByType_[type] = raw;
    }
}

void TarnTimeResolver::forgetLastRaws() {
    lastRawFlat_.fill(-1);
    lastRawByType_.clear();
}

}  // namespace TarGse
