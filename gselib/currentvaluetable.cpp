#include <gselib/currentvaluetable.h>

#include <gselib/ccsdspacket.h>
#include <gselib/datainterpretation.h>
#include <gselib/tmdatabase.h>
#include <gselib/tompacket.h>

#include <QDataStream>
#include <QIODevice>
#include <algorithm>

namespace GseLib {

namespace {

constexpr quint32 kMagic = 0xDEADBEEF;
constexpr quint32 kVersion = 2;
// Packet layouts recorded with a saved packet, so it can be rebuilt as the same class.
constexpr quint8 kTom = 0;
constexpr quint8 kCcsds = 1;

template <typename Map>
QList<int> sortedKeys(const Map& map) {
    QList<int> keys = map.keys();
    std::sort(keys.begin(), keys.end());
    return keys;
}

}  // namespace

bool CurrentValueTable::CvtItem::operator==(const CvtItem& o) const {
    const bool samePacket =
        (!packet && !o.packet) || (packet && o.packet && packet->bytes() && o.packet->bytes() &&
                                   *packet->bytes() == *o.packet->bytes());
    return samePacket && keepHistory == o.keepHistory && history == o.history;
}

CurrentValueTable::CurrentValueTable(const DataInterpretation& dataInterp)
    : dataInterp_(dataInterp) {}

void CurrentValueTable::track(int id, bool keepHistory, uint64_t maxCount, double maxAge) {
    const int apid = static_cast<int>(dataInterp_.db()->row(static_cast<uint32_t>(id)).packet_type);
    std::vector<int>& ids = mnemonicsByApid_[apid];
    if (std::find(ids.begin(), ids.end(), id) == ids.end()) {
        ids.push_back(id);
    }
    CvtItem& item = items_[id];
    item.keepHistory = keepHistory;
    item.history = ORLA::History(id, maxCount, maxAge);
}

void CurrentValueTable::update(const TMPacketPtr& packet) {
    if (!packet) {
        return;
    }
    const auto ids = mnemonicsByApid_.constFind(packet->apid());
    if (ids == mnemonicsByApid_.constEnd()) {
        return;
    }
    for (int id : *ids) {
        CvtItem& item = items_[id];
        item.packet = packet;
        if (item.keepHistory) {
            bool ok = false;
            const double v =
                dataInterp_.getValue(id, packet.get(), Gse::ValueMode::Sci, &ok, true, this);
            if (ok) {
                item.history.addValue(packet->unixTime(), v);
            }
        }
    }
}

TMPacketPtr CurrentValueTable::packet(int id) const {
    const auto it = items_.constFind(id);
    return it == items_.constEnd() ? TMPacketPtr() : it->packet;
}

TMPacketPtr CurrentValueTable::firstPacket() const {
    for (int id : sortedKeys(items_)) {
        if (items_.value(id).packet) {
            return items_.value(id).packet;
        }
    }
    return nullptr;
}

bool CurrentValueTable::hasValue(int id) const {
    return packet(id) != nullptr;
}

double CurrentValueTable::value(int id, Gse::ValueMode mode, bool* ok) const {
    const TMPacketPtr p = packet(id);
    if (!p) {
        if (ok)
            *ok = false;
        return 0.0;
    }
    return dataInterp_.getValue(id, p.get(), mode, ok, true, this);
}

QByteArray CurrentValueTable::stringValue(int id, bool* ok) const {
    const TMPacketPtr p = packet(id);
    if (!p) {
        if (ok)
            *ok = false;
        return QByteArray();
    }
    return dataInterp_.stringValue(id, p.get(), ok, true, this);
}

bool CurrentValueTable::decodePacket(int id, DataItems& items, bool applyConditions) const {
    const TMPacketPtr p = packet(id);
    return p && dataInterp_.decodePacket(id, p.get(), items, applyConditions, this);
}

ORLA::History CurrentValueTable::history(int id) const {
    return items_.value(id).history;
}

void CurrentValueTable::clear() {
    mnemonicsByApid_.clear();
    items_.clear();
}

QList<int> CurrentValueTable::apids() const {
    return sortedKeys(mnemonicsByApid_);
}

QList<int> CurrentValueTable::mnemonicIds() const {
    return sortedKeys(items_);
}

QList<int> CurrentValueTable::historyMnemonicIds() const {
    QList<int> ids;
    for (int id : sortedKeys(items_)) {
        if (items_.value(id).keepHistory) {
            ids.append(id);
        }
    }
    return ids;
}

QByteArray CurrentValueTable::saveState() const {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << kMagic << kVersion << quint32(mnemonicsByApid_.size());
    for (int apid : apids()) {
        const std::vector<int>& ids = mnemonicsByApid_.value(apid);
        out << qint32(apid) << quint32(ids.size());
        for (int id : ids) {
            out << qint32(id);
        }
        const TMPacketPtr p = ids.empty() ? nullptr : items_.value(ids.front()).packet;
        out << bool(p && p->bytes());
        if (p && p->bytes()) {
            const quint8 kind = dynamic_cast<const CcsdsPacket*>(p.get()) ? kCcsds : kTom;
            out << quint32(p->groundSeconds()) << p->groundMilliseconds() << kind
                << qint32(p->index()) << quint32(p->totalLength());
            out.writeRawData(reinterpret_cast<const char*>(p->bytes()->data()), p->totalLength());
        }
    }
    out << quint32(items_.size());
    for (int id : mnemonicIds()) {
        const CvtItem& item = items_.value(id);
        out << qint32(id) << item.keepHistory << item.history;
    }
    return bytes;
}

bool CurrentValueTable::restoreState(const QByteArray& bytes, const TimeResolver* resolver) {
    QDataStream in(bytes);
    quint32 magic = 0;
    quint32 version = 0;
    quint32 apidCount = 0;
    in >> magic >> version >> apidCount;
    if (magic != kMagic || version != kVersion) {
        return false;
    }
    QHash<int, std::vector<int>> byApid;
    QHash<int, CvtItem> items;
    std::vector<TMPacketPtr> packets;
    for (quint32 a = 0; a < apidCount && in.status() == QDataStream::Ok; ++a) {
        qint32 apid = 0;
        quint32 n = 0;
        in >> apid >> n;
        std::vector<int>& ids = byApid[apid];
        for (quint32 i = 0; i < n && in.status() == QDataStream::Ok; ++i) {
            qint32 id = 0;
            in >> id;
            ids.push_back(id);
            items[id];
        }
        bool hasPacket = false;
        in >> hasPacket;
        if (!hasPacket) {
            continue;
        }
        quint32 seconds = 0;
        double ms = 0;
        quint8 kind = 0;
        qint32 index = 0;
        quint32 length = 0;
        in >> seconds >> ms >> kind >> index >> length;
        if (in.status() != QDataStream::Ok || length > 0x1000000u) {
            return false;
        }
        auto raw = std::make_shared<ByteVector>(length);
        if (in.readRawData(reinterpret_cast<char*>(raw->data()), static_cast<int>(length)) !=
            static_cast<int>(length)) {
            return false;
        }
        TMPacketPtr p = kind == kCcsds
                            ? TMPacketPtr(std::make_shared<CcsdsPacket>(raw, index, resolver))
                            : TMPacketPtr(std::make_shared<TomPacket>(raw, index, resolver));
        p->setGroundSeconds(seconds);
        p->setGroundMilliseconds(ms);
        packets.push_back(p);
    }
    quint32 itemCount = 0;
    in >> itemCount;
    QHash<int, CvtItem> saved;
    for (quint32 i = 0; i < itemCount && in.status() == QDataStream::Ok; ++i) {
        qint32 id = 0;
        CvtItem item;
        in >> id >> item.keepHistory >> item.history;
        saved.insert(id, item);
    }
    if (in.status() != QDataStream::Ok) {
        return false;
    }
    mnemonicsByApid_ = byApid;
    items_ = items;
    for (auto it = saved.begin(); it != saved.end(); ++it) {
        items_[it.key()].keepHistory = it->keepHistory;
    }
    for (const TMPacketPtr& p : packets) {
        update(p);
    }
    // Replaying added the latest values to the histories once more; the saved ones are exact.
    for (auto it = saved.begin(); it != saved.end(); ++it) {
        items_[it.key()].history = it->history;
    }
    return true;
}

bool CurrentValueTable::operator==(const CurrentValueTable& o) const {
    return mnemonicsByApid_ == o.mnemonicsByApid_ && items_ == o.items_;
}

std::ostream& operator<<(std::ostream& out, const CurrentValueTable& table) {
    out << "CurrentValueTable(" << table.numTrackedApids() << " apids, "
        << table.numTrackedMnemonics() << " mnemonics, " << table.numTrackedHistoryMnemonics()
        << " with history)";
    for (int id : table.mnemonicIds()) {
        const ORLA::History h = table.history(id);
        out << "\n  " << id << (table.hasValue(id) ? " has value" : " no value");
        if (h.count()) {
            out << " history n=" << h.count() << " mean=" << h.mean();
        }
    }
    return out;
}

}  // namespace GseLib
