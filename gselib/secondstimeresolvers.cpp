#include <gselib/secondstimeresolvers.h>

#include <gselib/datainterpretation.h>
#include <gselib/tmpacket.h>
#include <tools/logger/eventmessage.h>

#include <cmath>

namespace GseLib {

long long SecondsTimeResolver::secondsToTicks(double seconds) const {
    return static_cast<long long>(std::trunc(seconds));
}

double SecondsTimeResolver::relativeTime(const TMPacket*, long long ticks) const {
    const double s = ticksToSeconds(ticks);
    return t0_ ? s - ticksToSeconds(t0_->rawTimestamp()) : s;
}

bool SecondsTimeResolver::acceptsAsT0(const TMPacket& packet) const {
    return (allowGseCreatedT0() || !packet.isGseCreated()) &&
           packet.rawTimestamp() >= minimumT0Ticks();
}

bool SecondsTimeResolver::handlePacket(const std::shared_ptr<TMPacket>& packet) {
    if (!t0_ && packet && acceptsAsT0(*packet)) {
        t0_ = packet;
    }
    return true;
}

double UnixTimeResolver::unixTime(const TMPacket* p) const {
    return static_cast<double>(p->rawTimestamp());
}

double UnixTimeResolver::unixTime(const TMPacket*, long long ticks) const {
    return static_cast<double>(ticks);
}

double UnixTimeResolver::relativeTime(const TMPacket* p) const {
    return SecondsTimeResolver::relativeTime(p, p->rawTimestamp());
}

double GpsTimeResolver::unixTime(const TMPacket* p) const {
    return static_cast<double>(static_cast<unsigned long long>(p->rawTimestamp()) + offset_) +
           p->rawTimestampMs() / 1000.0;
}

double GpsTimeResolver::unixTime(const TMPacket*, long long ticks) const {
    return static_cast<double>(static_cast<unsigned long long>(ticks) + offset_);
}

double GpsTimeResolver::relativeTime(const TMPacket* p) const {
    return SecondsTimeResolver::relativeTime(p, p->rawTimestamp()) + p->rawTimestampMs() / 1000.0;
}

double TaiTimeResolver::unixTime(const TMPacket* p) const {
    return static_cast<double>(static_cast<unsigned long long>(p->rawTimestamp()) - offset) +
           p->rawTimestampMs() / 1000.0;
}

double TaiTimeResolver::unixTime(const TMPacket*, long long) const {
    GSE_LOG_WARN("time", QStringLiteral("virtual double GseLib::TaiTimeResolver::unixTime(const "
                                        "GseLib::TMPacket *, int64_t) const Not implemented"));
    return 0.0;
}

double TaiTimeResolver::relativeTime(const TMPacket* p) const {
    return SecondsTimeResolver::relativeTime(p, p->rawTimestamp()) + p->rawTimestampMs() / 1000.0;
}

bool TaiTimeResolver::acceptsAsT0(const TMPacket& packet) const {
    return packet.rawTimestamp() >= minimumT0Ticks();
}

double GenericTimeResolver::unixTime(const TMPacket* p) const {
    // Decoding the time item may ask the packet for its time (any decoder but the time decoders
    // with a clock does): inside that, the packet has no time yet.
    thread_local bool resolving = false;
    if (resolving) {
        return 0.0;
    }
    struct Guard {
        bool& flag;
        explicit Guard(bool& f) : flag(f) { flag = true; }
        ~Guard() { flag = false; }
    } guard(resolving);
    const DataInterpretation* di = DataInterpretation::current();
    const TMPacketTypeInfo* info = di->packetTypes().find(p->apid());
    if (!info || info->timeItemId <= 0) {
        return 0.0;
    }
    bool ok = false;
    const double v = di->getValue(info->timeItemId, p, Gse::ValueMode::Raw, &ok, false, nullptr);
    return ok ? v : 0.0;
}

double GenericTimeResolver::unixTime(const TMPacket*, long long) const {
    GSE_LOG_WARN("time",
                 QStringLiteral("virtual double GseLib::GenericTimeResolver::unixTime(const "
                                "GseLib::TMPacket *, int64_t) const Not implemented"));
    return 0.0;
}

double GenericTimeResolver::relativeTime(const TMPacket* p) const {
    return SecondsTimeResolver::relativeTime(p, p->rawTimestamp()) + p->rawTimestampMs() / 1000.0;
}

bool GenericTimeResolver::acceptsAsT0(const TMPacket& packet) const {
    return packet.rawTimestamp() >= minimumT0Ticks();
}

}  // namespace GseLib
