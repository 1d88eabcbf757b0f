#include <gselib/msglogline.h>

#include <gselib/tmpacket.h>

namespace GseLib {

const QRegularExpression& MsgLogLine::timeStampPattern() {
    static const QRegularExpression pattern(QStringLiteral("^(\\d+\\.?\\d+):.*$"));
    return pattern;
}

MsgLogLine::MsgLogLine(const TMPacket& packet, const QString& text)
    : packetIndex_(static_cast<uint32_t>(packet.index())), text_(text) {
    if (timeStampPattern().match(text_).hasMatch()) {
        // The pattern guarantees a plain decimal number before the first colon.
        const double t = QStringView(text_).left(text_.indexOf(QLatin1Char(':'))).toDouble();
        relativeTime_ = packet.relativeTimeFromSeconds(t);
        unixTime_ = packet.unixTimeFromSeconds(t);
        hasOwnTime_ = true;
    } else {
        relativeTime_ = packet.relativeTime();
        unixTime_ = packet.unixTime();
    }
}

QString MsgLogLine::msg() const {
    if (!hasOwnTime_) {
        return text_;
    }
    // A stamped line without the usual ": " separator has nothing to strip but the stamp.
    const int sep = text_.indexOf(QLatin1String(": "));
    return sep < 0 ? text_.mid(text_.indexOf(QLatin1Char(':')) + 1) : text_.mid(sep + 2);
}

bool MsgLogLine::contains(const QRegularExpression& expression) const {
    return expression.match(msg().trimmed()).hasMatch();
}

bool MsgLogLine::contains(const QString& s, Qt::CaseSensitivity cs) const {
    return text_.contains(s, cs);
}

MsgLogLine MsgLogLine::concat(const MsgLogLine& other) const {
    MsgLogLine joined = *this;
    joined.text_ += other.text_;
    return joined;
}

}  // namespace GseLib
