#pragma once

#include <k814util/tmdatapoint.h>
#include <tarnlib/markercache.h>
#include <tarnlib/metamarker.h>

#include <memory>
#include <string>
#include <vector>

namespace GseLib {
class TMPacket;
}

namespace k814util {

/**
 * @brief One packet of the bound telemetry file, as scripts see it: its header fields, its
 * times, the marker that precedes it and the values of any database item in it.
 */
class TMPacket {
public:
    /// Takes the packet's times and, from markerCache (may be null), its preceding marker.
    TMPacket(std::shared_ptr<GseLib::TMPacket> tmPacketPtr, TarGse::MarkerCache* markerCachePtr);

    /// Every byte of the packet, 0-255.
    std::vector<int> _raw_packet() const;
    int get_type() const;
    int full_type() const;
    int total_length() const;
    int length() const;
    unsigned int checksum() const;
    bool gse_created() const;
    int sequence() const;
    unsigned int sclk() const;
    int index() const;
    int marker_id() const;
    int quip_marker_index() const;
    double unix_timestamp() const { return unixTimestamp_; }
    double relative_timestamp() const { return relativeTimestamp_; }
    std::string marker_text() const;
    std::vector<TarGse::MetaMarker> get_meta_markers() const;

    std::vector<TMDatapoint> all_raw_data(int hkid) const { return all_data(hkid, 0); }
    std::vector<TMDatapoint> all_eng_data(int hkid) const { return all_data(hkid, 1); }
    std::vector<TMDatapoint> all_sci_data(int hkid) const { return all_data(hkid, 2); }
    /**
     * Every value of database item hkid in this packet, converted by the item's row in the given
     * mode (0 raw, 1 engineering, 2 science; a negative mode gives raw values, 3 and above
     * convert as the row defines for them); values that convert to NaN are left out, an unknown
     * hkid gives none.
     */
    std::vector<TMDatapoint> all_data(int hkid, int mode = 2) const;
    /// The text of a message packet (type 8) up to its first zero byte; empty for others.
    std::string raw_message() const;

private:
    std::shared_ptr<GseLib::TMPacket> packet_;
    TarGse::MarkerData marker_;
    bool hasMarker_ = false;
    double unixTimestamp_ = 0.0;
    double relativeTimestamp_ = 0.0;
};

}  // namespace k814util
