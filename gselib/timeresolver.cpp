#include <gselib/timeresolver.h>

#include <gselib/tmpacket.h>

namespace GseLib {

namespace {
double groundSecondsOf(const TMPacket& p) {
    return static_cast<double>(p.groundSeconds()) + p.groundMilliseconds() / 1000.0;
}
}  // namespace

TimeResolver::~TimeResolver() = default;

void TimeResolver::setT0Fallback(double) {}

double TimeResolver::unixTimeOfT0Estimate() const {
    return 0.0;
}

unsigned long long TimeResolver::unixOffset() const {
    return 0;
}

double TimeResolver::unixTimeOfT0() const {
    if (const auto t0 = t0Packet()) {
        return t0->unixTime();
    }
    return unixTimeOfT0Estimate();
}

uint32_t TimeResolver::ticksOfT0() const {
    if (const auto t0 = t0Packet()) {
        return t0->rawTimestamp();
    }
    return 0;
}

double TimeResolver::groundRelativeTime(const TMPacket* packet) const {
    const double g = groundSecondsOf(*packet);
    if (const auto t0 = t0Packet()) {
        return g - groundSecondsOf(*t0);
    }
    return g;
}

}  // namespace GseLib
