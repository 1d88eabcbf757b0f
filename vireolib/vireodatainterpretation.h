#pragma once

#include <gselib/datainterpretation.h>

namespace VireoGse {

/**
 * @brief The VIREO interpretation engine: no custom decoders, and its own DAC table reader.
 */
class VireoDataInterpretation : public GseLib::DataInterpretation {
public:
    void populateCustomDecoders() override;
    /// Reads the DAC conversion file at path ("#" lines are comments) and records the path.
    void populateDacTable(GseLib::DacTable& table, const QString& path) override;
};

/**
 * @brief Makes `VireoDataInterpretation` engines.
 */
class VireoDataInterpretationFactory : public GseLib::DataInterpretationFactory {
public:
    std::unique_ptr<GseLib::DataInterpretation> make();
    std::unique_ptr<GseLib::DataInterpretation> create(PluginManager* pm,
                                                       const QList<QString>& files) override;
};

}  // namespace VireoGse
