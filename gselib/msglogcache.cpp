#include <gselib/msglogcache.h>

#include <gselib/datainterpretation.h>
#include <gselib/telemetryfile.h>
#include <gselib/tmdatabase.h>
#include <tools/logger/eventmessage.h>

#include <algorithm>

namespace GseLib {

namespace {

// Appends every decoded value the way the instrument's viewers print them.
void appendValues(const DataItems& items, QString& text) {
    for (const DataItem& item : items) {
        if (const auto* s = std::get_if<QByteArray>(&item.value)) {
            // Latin-1 maps every byte to one character, so no byte of the message is lost.
            text += QString::fromLatin1(*s);
        } else if (const auto* i = std::get_if<int64_t>(&item.value)) {
            text += QString::number(*i);
        } else if (const auto* u = std::get_if<uint64_t>(&item.value)) {
            text += QString::number(*u);
        } else {
            text += QString::number(std::get<double>(item.value), 'f', 6);
        }
    }
}

}  // namespace

MsgLogCache& MsgLogCache::getInstance() {
    static MsgLogCache instance;
    return instance;
}

const QStringList& MsgLogCache::defaultMnemonics() {
    static const QStringList names{QStringLiteral("MSG:TEXT"), QStringLiteral("MEB:MESSAGE_LOG")};
    return names;
}

MsgLogCache::MsgLogCache() : cursor_(std::make_shared<TelemetryFile>()) {
    setMnemonics(defaultMnemonics());
}

MsgLogCache::~MsgLogCache() = default;

void MsgLogCache::setMnemonics(const QStringList& names) {
    const DataInterpretation* di =
        DataInterpretation::hasCurrent() ? DataInterpretation::current() : nullptr;
    for (const QString& name : names) {
        const QByteArray key = name.toLatin1();
        if (di && di->db() && di->db()->getId(key.constData()) != 0) {
            mnemonicRows_.push_back(di->db()->row(key.constData()));
        } else {
            GSE_LOG_WARN("msglog", QStringLiteral("MsgLogCache mnemonic does not exist: ") + name);
        }
    }
}

void MsgLogCache::refresh() {
    const DataInterpretation* di =
        DataInterpretation::hasCurrent() ? DataInterpretation::current() : nullptr;
    if (!di || mnemonicRows_.empty()) {
        return;  // nothing can be decoded yet: leave the packets for a later refresh
    }
    DataItems items;
    while (TMPacketPtr packet = cursor_->getNext()) {
        QString text;
        for (const TmDatabaseRow& row : mnemonicRows_) {
            items.clear();
            if (di->decodePacket(row, packet.get(), items, true, nullptr)) {
                appendValues(items, text);
            }
        }
        if (!text.isEmpty()) {
            addText(*packet, text);
        }
    }
}

void MsgLogCache::addText(const TMPacket& packet, const QString& text) {
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\n|\r"));
    const QStringList parts = text.split(lineEnd, Qt::SkipEmptyParts);
    const bool endsWithNewline = text.endsWith(QLatin1Char('\n'));
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString& line = parts[i];
        // Zero-filled tails of fixed-size text fields end a message rather than continue it.
        if (line.isEmpty() || line.front() == QChar(0)) {
            pending_ = false;
            continue;
        }
        const bool wasPending = pending_;
        if (wasPending) {
            pending_ = false;
            lines_.back().appendText(line);
        }
        if (i == parts.size() - 1 && !endsWithNewline) {
            pending_ = true;
        }
        if (!wasPending) {
            lines_.emplace_back(packet, line);
        }
    }
}

void MsgLogCache::reload() {
    resetState();
    refresh();
}

void MsgLogCache::resetState() {
    cursor_ = std::make_shared<TelemetryFile>();
    lines_.clear();
    pending_ = false;
    ++generation_;
}

MsgLogLine MsgLogCache::search(double time, const QRegularExpression& expression,
                               bool* found) const {
    auto it = std::lower_bound(lines_.begin(), lines_.end(), time,
                               [](const MsgLogLine& l, double t) { return l.relativeTime() < t; });
    for (; it != lines_.end(); ++it) {
        if (it->contains(expression)) {
            if (found)
                *found = true;
            return *it;
        }
        if (!it->hasOwnTime() && it != lines_.begin()) {
            MsgLogLine joined = std::prev(it)->concat(*it);
            if (joined.contains(expression)) {
                if (found)
                    *found = true;
                return joined;
            }
        }
    }
    if (found)
        *found = false;
    MsgLogLine none;
    none.setTime(time);
    return none;
}

MsgLogLine MsgLogCache::search(unsigned from, unsigned to, const QRegularExpression& expression,
                               bool* found, bool findLast) const {
    bool any = false;
    MsgLogLine result;
    // Lines are in packet order, so the range is one run of lines: found by binary search, a
    // search costs the lines of its range, not the whole log.
    auto it = std::lower_bound(lines_.begin(), lines_.end(), from,
                               [](const MsgLogLine& l, unsigned i) { return l.packetIndex() < i; });
    for (; it != lines_.end() && it->packetIndex() <= to; ++it) {
        if (it->contains(expression)) {
            any = true;
            result = *it;
            if (!findLast)
                break;
        }
        if (!it->hasOwnTime() && it != lines_.begin()) {
            const MsgLogLine joined = std::prev(it)->concat(*it);
            if (joined.contains(expression)) {
                any = true;
                result = joined;
                if (!findLast)
                    break;
            }
        }
    }
    if (found)
        *found = any;
    return result;
}

}  // namespace GseLib
