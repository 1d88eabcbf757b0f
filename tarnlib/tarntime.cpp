#include <tarnlib/tarntime.h>

#include <gselib/datainterpretation.h>
#include <gselib/tmpacket.h>

#include <QRegExp>
#include <stdexcept>

namespace TarGse {

namespace {

// Raw value of a database item in the packet; false when it cannot be decoded.
bool itemValue(const GseLib::TMPacket& p, int id, uint64_t& out) {
    if (!GseLib::DataInterpretation::hasCurrent()) {
        return false;
    }
    bool ok = false;
    const double v = GseLib::DataInterpretation::current()->getValue(id, &p, Gse::ValueMode::Raw,
                                                                     &ok, true, nullptr);
    out = ok && v > 0 ? static_cast<uint64_t>(v) : 0;
    return ok;
}

uint32_t be32(const GseLib::ByteVector& b, size_t at) {
    return (uint32_t(b.at(at)) << 24) | (uint32_t(b.at(at + 1)) << 16) |
           (uint32_t(b.at(at + 2)) << 8) | b.at(at + 3);
}

}  // namespace

void getTimeFields(const GseLib::TMPacket& p, uint64_t& secs, uint64_t& subsecs, uint64_t& tick) {
    switch (p.type()) {
        case 7:
            itemValue(p, 526, secs);
            itemValue(p, 527, subsecs);
            itemValue(p, 528, tick);
            return;
        case 2:
            itemValue(p, 550, secs);
            itemValue(p, 551, subsecs);
            itemValue(p, 552, tick);
            return;
        case 9: {
            const GseLib::ByteVector& b = *p.bytes();
            const size_t d = static_cast<size_t>(p.dataOffset());
            secs = be32(b, d);
            subsecs = (uint32_t(b.at(d + 4)) << 8) | b.at(d + 5);
            tick = p.rawTimestamp();
            return;
        }
        default:
            throw std::domain_error("getTimeFields() was passed a non-time packet");
    }
}

bool isDigitalHkPktWithNonZeroTimeFields(const GseLib::TMPacket& p) {
    if (p.type() != 7) {
        return false;
    }
    for (int id : {526, 527, 528}) {
        uint64_t v = 0;
        if (itemValue(p, id, v) && v != 0) {
            return true;
        }
    }
    return false;
}

bool isTimePkt(const GseLib::TMPacket& p) {
    return p.type() == 2 || isDigitalHkPktWithNonZeroTimeFields(p);
}

bool isBootLoaderPkt(const GseLib::TMPacket& p) {
    if (p.type() != 8 || !p.bytes()) {
        return false;
    }
    const GseLib::ByteVector& b = *p.bytes();
    const size_t start = static_cast<size_t>(p.dataOffset());
    const size_t end = std::min(b.size(), start + static_cast<size_t>(std::max(0, p.dataLength())));
    QByteArray text;
    for (size_t i = start; i < end && b[i] != 0; ++i) {
        text.append(static_cast<char>(b[i]));
    }
    // The station tools match with the legacy expression engine's exact match; kept so that
    // the same messages count as boot-loader packets here.
    static const QRegExp bootLoader(QStringLiteral(".*TARN.*CDH.*Boot.*Loader.*"));
    return bootLoader.exactMatch(QString::fromLatin1(text));
}

double getRetForTick0(uint64_t secs, uint64_t subsecs, uint64_t tick) {
    return static_cast<double>(secs) + static_cast<double>(subsecs) * SUBSEC_UNIT -
           static_cast<double>(tick) / TICKS_PER_SECOND;
}

double getUnixTimeForTick0(const GseLib::TMPacket& p) {
    uint64_t secs = 0;
    uint64_t subsecs = 0;
    uint64_t tick = 0;
    getTimeFields(p, secs, subsecs, tick);
    return retToUnixTime(getRetForTick0(secs, subsecs, tick));
}

double convertPktTimestampToUnixTime(const GseLib::TMPacket& p, double unixTimeForTick0) {
    return unixTimeForTick0 + p.rawTimestamp() / TICKS_PER_SECOND;
}

}  // namespace TarGse
