#pragma once

#include <gselib/tmmeta.h>
#include <k814util/tmpacket.h>
#include <tarnlib/markercache.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace GseLib {
class TelemetryFile;
}

namespace k814util {

/**
 * @brief The telemetry file the process is bound to, as scripts see it.
 *
 * Holds no packets of its own: every object reads the process-wide packet cache that binding
 * filled, so all of them see the same packets.
 */
class TMFile {
public:
    /**
     * @throw std::runtime_error when the process is not bound to a file, or the file does not
     *        exist
     */
    explicit TMFile(const std::string& filename);
    ~TMFile();

    std::string filename() const { return filename_; }
    /// Canonical path of the directory that holds the file.
    std::string absolute_directory() const;
    /// The TID directory's name, from tm.meta, packet 0's "Data directory:" message, or the path.
    std::string directory_string() const;
    /// The name of the mass-calibration file that applies to the test.
    std::string get_mcal_filename() const;
    int64_t file_size() const;
    int tid() const;
    /// Number of packets in the shared cache.
    int length() const;
    bool exists() const;
    /// tm.meta's model, "unknown" without a valid tm.meta.
    std::string model() const;
    /// @throw std::out_of_range "get_pkt was passed an invalid index."
    TMPacket get_pkt(int index);
    double t0_in_unix_time() const;
    int t0_in_sclk() const;
    bool is_time_synced() const;
    std::vector<TarGse::MetaMarker> get_meta_markers() const;
    /// The binding generation the object was made in: the package's whole-file methods refuse
    /// to answer for a later binding's file.
    long long _binding_generation() const { return bindingGeneration_; }
    /// Takes the process's current binding as the object's own when it is of the object's
    /// file (refresh binds the file again after another binding); whether it was.
    bool _adopt_binding();

private:
    std::string filename_;
    GseLib::TmMeta tmMeta_;
    std::shared_ptr<GseLib::TelemetryFile> telemetryFile_;
    std::shared_ptr<GseLib::TelemetryFile> markerCursor_;
    TarGse::MarkerCache markerCache_;
    long long bindingGeneration_ = 0;
};

}  // namespace k814util
