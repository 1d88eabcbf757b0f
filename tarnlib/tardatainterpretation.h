#pragma once

#include <gselib/datainterpretation.h>

namespace TarGse {

/**
 * @brief The TARN interpretation engine: the TARN custom decoders and the TARN DAC table.
 */
class TarDataInterpretation : public GseLib::DataInterpretation {
public:
    /// The TARN database counts item offsets from the packet's data field, which TOM packets
    /// begin after an 8-byte header; binding shifts every row by this much.
    static constexpr int PKT_OFFSET_DELTA = 8;

    void populateCustomDecoders() override;
    /// Reads "TAR_DAC_Conversions.txt" (the path given) and records the path.
    void populateDacTable(GseLib::DacTable& table, const QString& path) override;
};

/**
 * @brief Makes `TarDataInterpretation` engines.
 */
class TarDataInterpretationFactory : public GseLib::DataInterpretationFactory {
public:
    std::unique_ptr<GseLib::DataInterpretation> make();
    std::unique_ptr<GseLib::DataInterpretation> create(PluginManager* pm,
                                                       const QList<QString>& files) override;
};

}  // namespace TarGse
