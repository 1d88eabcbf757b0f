#include <vireolib/marker.h>

#include <tools/logger/eventmessage.h>
#include <vireolib/markerpacket.h>

namespace VireoGse {

namespace {

int64_t toMicroSecs(double unixTime) {
    return static_cast<int64_t>(unixTime * 1e6);
}

}  // namespace

Marker::Marker(const MarkerPacket& packet)
    : markerId_(packet.markerId()),
      markerType_(packet.markerType()),
      start_(toMicroSecs(packet.unixTime())),
      text_(packet.text()) {}

QString Marker::toNiceString() const {
    return QStringLiteral("lbl=%1 id=%2:%3 start=%4 end=%5 dur=%6s")
        .arg(QString::fromLatin1(text_))
        .arg(markerId_)
        .arg(markerType_)
        .arg(startTimeUnixSecs(), 0, 'f', 6)
        .arg(endTimeUnixSecs(), 0, 'f', 6)
        .arg(durationSecs(), 0, 'f', 6);
}

bool Marker::close(double unixTime) {
    const int64_t e = toMicroSecs(unixTime);
    if (start_ >= e) {
        GSE_LOG_WARN("marker_close", QStringLiteral("close time is earlier than start time") +
                                         QStringLiteral(" t_start= ") + QString::number(start_) +
                                         QStringLiteral(" t_end= ") + QString::number(e));
        return false;
    }
    end_ = e;
    return true;
}

}  // namespace VireoGse
