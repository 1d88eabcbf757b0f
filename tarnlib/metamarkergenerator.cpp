#include <tarnlib/metamarkergenerator.h>

#include <gselib/msglogcache.h>
#include <gselib/tmpacket.h>

#include <QRegularExpression>
#include <cstring>
#include <vector>

namespace TarGse {

namespace K = MetaMarkerJsonKeys;
namespace V = MetaMarkerJsonValues;

namespace {

constexpr int MESSAGE_TYPE = 8;
constexpr int MARKER_TYPE = 9;

// The state keys of a "marker" trigger and the log lines that announce each state.
struct StateKey {
    const QString* key;
    const char* pattern;
};
const StateKey STATE_KEYS[] = {
    {&K::SEB_TEST_ENABLED, "SEB Test = (0|1)"},
    {&K::HIGH_VOLTAGE_TEST_ENABLED, "High Voltage Test = (0|1)"},
    {&K::LASER_EBT_TEST_ENABLED, "Laser EBT = (0|1)"},
    {&K::GC_EBT_TEST_ENABLED, "GC EBT = (0|1)"},
    {&K::HEATER_TEST_ENABLED, "Heater Test = (0|1)"},
};

// The marker id of a type-9 packet; false for other packets and ones too short to carry it.
bool markerId(const GseLib::TMPacket& p, uint32_t* id) {
    if (p.type() != MARKER_TYPE) {
        return false;
    }
    const auto& b = p.bytes();
    const size_t at = size_t(p.dataOffset()) + 6;
    if (!b || b->size() < at + 4) {
        return false;
    }
    const uint8_t* d = b->data() + at;
    *id = (uint32_t(d[0]) << 24) | (uint32_t(d[1]) << 16) | (uint32_t(d[2]) << 8) | d[3];
    return true;
}

}  // namespace

JsonBasedMetaMarkerGenerator::Trigger::Trigger(const QJsonObject& c) {
    const QString type = c.value(K::TYPE).toString();
    kind = type == V::MARKER        ? Marker
           : type == V::MESSAGE     ? Message
           : type == V::DURATION    ? Duration
           : type == V::NEXT_MARKER ? NextMarker
                                    : Other;
    marker = uint32_t(c.value(K::MARKER).toInteger());
    offset = c.value(K::OFFSET_IN_SECONDS).toDouble();
    seconds = c.value(K::NUMBER_OF_SECONDS).toDouble();
    if (kind == Message) {
        regex = QRegularExpression(c.value(K::REGEX).toString(),
                                   c.value(K::CASE_SENSITIVE).toBool()
                                       ? QRegularExpression::NoPatternOption
                                       : QRegularExpression::CaseInsensitiveOption);
    }
    for (int s = 0; s < TestStateCount; ++s) {
        const QString& key = *STATE_KEYS[s].key;
        states[s] = c.contains(key) ? int(c.value(key).toBool()) : -1;
    }
}

JsonBasedMetaMarkerGenerator::JsonBasedMetaMarkerGenerator(const QJsonObject& rule)
    : id_(rule.value(K::METAMARKER_ID).toInt()),
      text_(rule.value(K::METAMARKER_TEXT).toString().toStdString()) {
    for (const QJsonValue& c : rule.value(K::START_CONDITIONS).toArray()) {
        starts_.emplace_back(c.toObject());
    }
    for (const QJsonValue& c : rule.value(K::END_CONDITIONS).toArray()) {
        ends_.emplace_back(c.toObject());
    }
}

QString JsonBasedMetaMarkerGenerator::extractMatchedMessage(const GseLib::TMPacket& packet,
                                                            const QString& expression,
                                                            bool caseSensitive) {
    return extractMatchedMessage(
        packet,
        QRegularExpression(expression, caseSensitive ? QRegularExpression::NoPatternOption
                                                     : QRegularExpression::CaseInsensitiveOption));
}

QString JsonBasedMetaMarkerGenerator::extractMatchedMessage(const GseLib::TMPacket& packet,
                                                            const QRegularExpression& re) {
    const std::string text = packet.dataText();
    const QString message = QString::fromLatin1(text.data(), qsizetype(text.size()));
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\n|\r"));
    for (const QString& line : message.split(lineEnd, Qt::SkipEmptyParts)) {
        if (re.match(line).hasMatch()) {
            return line;
        }
    }
    return {};
}

void JsonBasedMetaMarkerGenerator::updateTestStates(const GseLib::TMPacket& packet) {
    GseLib::MsgLogCache& log = GseLib::MsgLogCache::getInstance();
    log.refresh();
    const unsigned from = unsigned(searchedUpTo_ + 1);
    const unsigned to = unsigned(packet.index());
    static const std::vector<QRegularExpression> patterns = [] {
        std::vector<QRegularExpression> compiled;
        for (const StateKey& k : STATE_KEYS)
            compiled.emplace_back(QString::fromLatin1(k.pattern));
        return compiled;
    }();
    for (int s = 0; s < TestStateCount; ++s) {
        bool found = false;
        const GseLib::MsgLogLine line = log.search(from, to, patterns[size_t(s)], &found, true);
        if (!found) {
            continue;
        }
        const QStringList parts = line.text().split(QLatin1Char('='));
        if (parts.size() == 2) {
            states_[s] = parts[1].trimmed().toInt() != 0;
        }
    }
    searchedUpTo_ = packet.index();
}

bool JsonBasedMetaMarkerGenerator::startFires(const Trigger& c, const GseLib::TMPacket& p,
                                              double* start) {
    if (c.kind == Trigger::Marker) {
        uint32_t id = 0;
        if (!markerId(p, &id) || id != c.marker) {
            return false;
        }
        for (int s = 0; s < TestStateCount; ++s) {
            if (c.states[s] >= 0 && bool(c.states[s]) != states_[s]) {
                return false;
            }
        }
        *start = p.relativeTime() + c.offset;
        return true;
    }
    if (c.kind == Trigger::Message && p.type() == MESSAGE_TYPE) {
        const QString line = extractMatchedMessage(p, c.regex);
        if (line.isEmpty()) {
            return false;
        }
        *start = GseLib::MsgLogLine(p, line).relativeTime() + c.offset;
        return true;
    }
    return false;
}

bool JsonBasedMetaMarkerGenerator::endFires(const Trigger& c, const GseLib::TMPacket& p,
                                            bool opening) {
    MetaMarker& m = metaMarkers_.back();
    double end = 0.0;
    uint32_t id = 0;
    switch (c.kind) {
        case Trigger::Duration:
            if (c.seconds >= 0) {
                m.endRelativeTimeInSecs = m.startRelativeTimeInSecs + c.seconds;
            } else {
                m.endRelativeTimeInSecs = m.startRelativeTimeInSecs;
                m.startRelativeTimeInSecs += c.seconds;
            }
            return true;
        case Trigger::Marker:
            if (opening || !markerId(p, &id) || id != c.marker) {
                return false;
            }
            end = p.relativeTime() + c.offset;
            break;
        case Trigger::NextMarker:
            if (opening || !markerId(p, &id)) {
                return false;
            }
            end = p.relativeTime();
            break;
        case Trigger::Message: {
            if (p.type() != MESSAGE_TYPE) {
                return false;
            }
            const QString line = extractMatchedMessage(p, c.regex);
            if (line.isEmpty()) {
                return false;
            }
            end = GseLib::MsgLogLine(p, line).relativeTime() + c.offset;
            break;
        }
        case Trigger::Other:
            return false;
    }
    if (end < m.startRelativeTimeInSecs) {
        return false;
    }
    m.endRelativeTimeInSecs = end;
    return true;
}

void JsonBasedMetaMarkerGenerator::ingestPkt(const std::shared_ptr<GseLib::TMPacket>& packet,
                                             double endOfDataTime) {
    if (!packet) {
        return;
    }
    const GseLib::TMPacket& p = *packet;
    if (p.type() != MESSAGE_TYPE && p.type() != MARKER_TYPE) {
        // Only markers and messages start or end anything (a duration ends on the packet that
        // opened): every other packet just carries an open meta-marker to the end of the data.
        if (open_) {
            metaMarkers_.back().endRelativeTimeInSecs = endOfDataTime;
        }
        return;
    }
    if (p.type() == MESSAGE_TYPE) {
        updateTestStates(p);
    }
    bool opening = false;
    if (!open_) {
        for (const Trigger& c : starts_) {
            double start = 0.0;
            if (startFires(c, p, &start)) {
                MetaMarker m;
                m.startRelativeTimeInSecs = start;
                m.endRelativeTimeInSecs = endOfDataTime;
                m.metaMarkerId = id_;
                m.msg = text_;
                metaMarkers_.append(m);
                open_ = opening = true;
                break;
            }
        }
    }
    if (!open_) {
        return;
    }
    for (const Trigger& c : ends_) {
        if (endFires(c, p, opening)) {
            open_ = false;
            return;
        }
    }
    // Still open: it lasts, for now, to the end of the data.
    metaMarkers_.back().endRelativeTimeInSecs = endOfDataTime;
}

}  // namespace TarGse
