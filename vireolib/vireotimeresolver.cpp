#include <vireolib/vireotimeresolver.h>

#include <gselib/tmpacket.h>

namespace VireoGse {

void VireoTimeResolver::reset() {
    GenericTimeResolver::reset();
    vireoT0_.reset();
}

double VireoTimeResolver::unixTime(const GseLib::TMPacket* p) const {
    const double fine =
        p->bytes() && p->bytes()->size() > 10 ? (*p->bytes())[10] * 0.00390625 : 0.0;
    return static_cast<double>(static_cast<unsigned long long>(p->rawTimestamp()) + EPOCH_2010) +
           fine;
}

double VireoTimeResolver::unixTime(const GseLib::TMPacket*, long long ticks) const {
    return unixTimeOfT0() + ticksToSeconds(ticks);
}

double VireoTimeResolver::relativeTime(const GseLib::TMPacket* p) const {
    return unixTime(p) - unixTimeOfT0();
}

double VireoTimeResolver::relativeTime(const GseLib::TMPacket*, long long ticks) const {
    return ticksToSeconds(ticks);
}

bool VireoTimeResolver::handlePacket(const std::shared_ptr<GseLib::TMPacket>& packet) {
    if (!vireoT0_) {
        vireoT0_ = packet;
    }
    return true;
}

}  // namespace VireoGse
