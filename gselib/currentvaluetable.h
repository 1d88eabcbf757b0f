#pragma once

#include <gselib/dataitem.h>
#include <gselib/gse.h>
#include <gselib/history.h>
#include <gselib/tmpacket.h>

#include <QByteArray>
#include <QHash>
#include <QList>
#include <ostream>
#include <vector>

namespace GseLib {

class DataInterpretation;
class TimeResolver;

/**
 * @brief The latest packet of every tracked mnemonic, with optional running statistics.
 *
 * Decoders that compute from other mnemonics read them here. Which mnemonics are tracked is up
 * to the owner (`track`); `update` is fed packets in time order.
 */
class CurrentValueTable {
public:
    struct CvtItem {
        TMPacketPtr packet;
        bool keepHistory = false;
        ORLA::History history;
        bool operator==(const CvtItem& o) const;
    };

    explicit CurrentValueTable(const DataInterpretation& dataInterp);

    /**
     * Starts tracking the mnemonic with data ID id (its row gives the packet type).
     * @throw std::out_of_range when the engine's database has no such row
     */
    void track(int id, bool keepHistory = false, uint64_t maxCount = 0, double maxAge = 0.0);

    void update(const TMPacketPtr& packet);
    TMPacketPtr packet(int id) const;
    /// The packet of the lowest tracked data ID that has one, or null.
    TMPacketPtr firstPacket() const;
    bool hasValue(int id) const;
    double value(int id, Gse::ValueMode mode, bool* ok) const;
    QByteArray stringValue(int id, bool* ok) const;
    bool decodePacket(int id, DataItems& items, bool applyConditions) const;
    /// The mnemonic's history (an empty one when it is not tracked).
    ORLA::History history(int id) const;
    void clear();

    QList<int> apids() const;
    int numTrackedApids() const { return static_cast<int>(mnemonicsByApid_.size()); }
    QList<int> mnemonicIds() const;
    QList<int> historyMnemonicIds() const;
    int numTrackedMnemonics() const { return static_cast<int>(items_.size()); }
    int numTrackedHistoryMnemonics() const { return static_cast<int>(historyMnemonicIds().size()); }

    /// Tracking, latest packets (ground time, bytes) and histories in the data-stream format.
    QByteArray saveState() const;
    /// Rebuilds the packets with resolver and replays them; false for bytes of another kind.
    bool restoreState(const QByteArray& bytes, const TimeResolver* resolver);

    bool operator==(const CurrentValueTable& o) const;
    bool operator!=(const CurrentValueTable& o) const { return !(*this == o); }

private:
    const DataInterpretation& dataInterp_;
    QHash<int, std::vector<int>> mnemonicsByApid_;
    QHash<int, CvtItem> items_;
};

std::ostream& operator<<(std::ostream& out, const CurrentValueTable& table);

}  // namespace GseLib
