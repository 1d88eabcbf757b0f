#pragma once

#include <gselib/dataitem.h>

#include <QString>

namespace GseLib {

class CurrentValueTable;
class DataInterpretation;
class TMPacket;
class TmDatabaseRow;

/**
 * @brief Extracts one database row's values from a packet's bytes.
 *
 * Each decoder serves one DECODE_TYPE number and appends one `DataItem` per value it finds.
 * Decoders hold no mutable state; the engine that owns them sets its back-pointer on `addDecoder`.
 */
class Decoder {
public:
    virtual ~Decoder();
    virtual int type() const = 0;
    virtual QString name() const;
    /// Appends the row's values found in packet; see each decoder for the result.
    /// @throw std::out_of_range when reading outside the packet's bytes
    virtual bool decode(const TmDatabaseRow& row, const TMPacket* packet, DataItems& items,
                        const CurrentValueTable* cvt) const = 0;

    const DataInterpretation* engine() const { return engine_; }
    void setEngine(const DataInterpretation* engine) { engine_ = engine; }

private:
    const DataInterpretation* engine_ = nullptr;
};

}  // namespace GseLib
