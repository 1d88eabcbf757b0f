#pragma once

#include <gselib/dataitem.h>
#include <gselib/gse.h>
#include <gselib/tmpacket.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace GseLib {
class DataInterpretation;
class TmDatabaseRow;
}  // namespace GseLib

namespace k814util {

/**
 * @brief Every value of one database item over the whole bound file, in packet order, as
 * columns.
 *
 * Holds exactly the values that `TMPacket::all_data` gives for each packet in turn (values that
 * convert to NaN left out), with the position (get_pkt's index) of the packet that carried each, so
 * a script reads a whole test's item in one call instead of one call per packet. Text items keep
 * their text as well as the number all_data makes of it.
 */
class ItemSeries {
public:
    /**
     * Decodes item hkid from every packet of the shared cache and converts it to mode (0 raw,
     * 1 engineering, 2 science).
     * @throw std::invalid_argument for an hkid the database does not hold or a mode outside 0-2
     * @throw std::runtime_error when no interpretation engine exists yet
     */
    ItemSeries(int hkid, int mode);

    /// Number of values.
    long long size() const { return static_cast<long long>(values_.size()); }
    /// Whether any value was text: the texts are then kept beside the numbers.
    bool is_text() const { return !texts_.empty(); }

    const std::vector<double>& unixTimes() const& { return unixTimes_; }
    const std::vector<double>& relativeTimes() const& { return relativeTimes_; }
    const std::vector<double>& values() const& { return values_; }
    const std::vector<int64_t>& packets() const& { return packets_; }
    /// One text per value when is_text() (empty for values that were numbers), else empty.
    const std::vector<std::string>& texts() const& { return texts_; }

    // A series about to go moves its columns out (each once) instead of copying them.
    std::vector<double> unixTimes() && { return std::move(unixTimes_); }
    std::vector<double> relativeTimes() && { return std::move(relativeTimes_); }
    std::vector<double> values() && { return std::move(values_); }
    std::vector<int64_t> packets() && { return std::move(packets_); }
    std::vector<std::string> texts() && { return std::move(texts_); }

private:
    /// Appends the values of row's item in packet (at position in the cache), if it is of the
    /// row's packet type; items is scratch space.
    /// decodeInto for the packets at the positions in batch, in order.
    void decodeBatch(const GseLib::DataInterpretation& di, const GseLib::TmDatabaseRow& row,
                     Gse::ValueMode valueMode, const std::vector<GseLib::TMPacketPtr>& packets,
                     const std::vector<size_t>& batch, GseLib::DataItems& items);
    void decodeInto(const GseLib::DataInterpretation& di, const GseLib::TmDatabaseRow& row,
                    Gse::ValueMode valueMode, const GseLib::TMPacket* packet, int64_t position,
                    GseLib::DataItems& items);

    std::vector<double> unixTimes_;
    std::vector<double> relativeTimes_;
    std::vector<double> values_;
    std::vector<int64_t> packets_;
    std::vector<std::string> texts_;
};

}  // namespace k814util
