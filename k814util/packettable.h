#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace k814util {

/**
 * @brief The header fields, times, type name and preceding marker of every packet of the bound
 * file, as columns, read in one pass.
 *
 * Each column holds what the TMPacket of the same position reports, so a whole file's packet
 * list reaches a script without one object per packet.
 */
class PacketTable {
public:
    /// The integer columns, in the order intColumns() holds them.
    enum IntColumn {
        Index,
        Type,
        FullType,
        TotalLength,
        DataLength,
        Sequence,
        Sclk,
        Checksum,
        GseCreated,
        MarkerId,
        IntColumnCount
    };
    /// The floating-point columns, in the order realColumns() holds them.
    enum RealColumn { UnixTime, RelativeTime, RealColumnCount };

    /// Reads every packet of the shared cache; an unbound process gives an empty table.
    PacketTable();

    long long size() const { return static_cast<long long>(typeNames_.size()); }
    /// Row-major, IntColumnCount per packet.
    const std::vector<int64_t>& intColumns() const { return ints_; }
    /// Row-major, RealColumnCount per packet.
    const std::vector<double>& realColumns() const { return reals_; }
    /// The packet-type catalogue's name of each packet's type.
    const std::vector<std::string>& typeNames() const { return typeNames_; }

private:
    std::vector<int64_t> ints_;
    std::vector<double> reals_;
    std::vector<std::string> typeNames_;
};

}  // namespace k814util
