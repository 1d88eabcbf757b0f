#pragma once

#include <QRegularExpression>
#include <QString>
#include <cstdint>

namespace GseLib {

class TMPacket;

/**
 * @brief One line of the instrument's message log, with the time it was sent.
 *
 * A line that begins with its own time stamp ("1234.5: text") takes its times from that stamp,
 * read through the packet's clock; any other line takes the packet's times.
 */
class MsgLogLine {
public:
    MsgLogLine() = default;
    MsgLogLine(const TMPacket& packet, const QString& text);

    /// The text without its own time stamp.
    QString msg() const;
    /// The trimmed msg() contains a match of expression.
    bool contains(const QRegularExpression& expression) const;
    /// The raw text contains s.
    bool contains(const QString& s, Qt::CaseSensitivity cs = Qt::CaseSensitive) const;
    /// A copy of this line whose text is followed by other's text.
    MsgLogLine concat(const MsgLogLine& other) const;
    void setTime(double seconds) { relativeTime_ = seconds; }
    void appendText(const QString& more) { text_ += more; }

    uint32_t packetIndex() const { return packetIndex_; }
    double relativeTime() const { return relativeTime_; }
    double unixTime() const { return unixTime_; }
    QString text() const { return text_; }
    bool hasOwnTime() const { return hasOwnTime_; }

    /// "^(\d+\.?\d+):.*$": two or more digits, at most one decimal point among them, a colon.
    static const QRegularExpression& timeStampPattern();

private:
    uint32_t packetIndex_ = 0;
    double relativeTime_ = 0.0;
    double unixTime_ = 0.0;
    QString text_;
    bool hasOwnTime_ = false;
};

}  // namespace GseLib
