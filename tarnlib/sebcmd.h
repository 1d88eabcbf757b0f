#pragma once

#include <gselib/tmpacket.h>

#include <QString>
#include <memory>

namespace TarGse {

/**
 * @brief One SEB command: its number and a copy of its bytes, sync code and trailer included.
 *
 * Names and field values come from the command interpreter of the same number; a number without
 * an interpreter has the name "Unknown command N", NaN science values and "N/A" texts.
 */
class SebCmd {
public:
    static constexpr int SET_BIN_TIME = 18;
    static constexpr int PAUSE_IMM = 21;
    static constexpr int SEND_SCAN_STATUS = 23;
    static constexpr int SET_DAC = 28;
    static constexpr int SET_DAC_IMM = 29;
    static constexpr int RAMP = 32;
    static constexpr int RAMP_IMM = 33;
    static constexpr int PAUSE = 46;

    /**
     * Copies bytes [start, end).
     * @throw std::out_of_range when the range does not lie within bytes
     */
    SebCmd(int number, std::shared_ptr<GseLib::ByteVector> bytes, int start, int end);

    int number() const { return number_; }
    std::shared_ptr<GseLib::ByteVector> bytes() const { return bytes_; }
    int size() const { return int(bytes_->size()); }

    QString name() const;
    /// Field i through the interpreter; NaN when there is none or it has no decoder at i.
    double fieldSci(int i) const;
    /// Field i's science text; "N/A" when there is no interpreter or no decoder at i.
    QString fieldSciStr(int i) const;

private:
    int number_ = 0;
    std::shared_ptr<GseLib::ByteVector> bytes_;
};

}  // namespace TarGse
