#include <tarnlib/tardatainterpretation.h>

namespace TarGse {

void TarDataInterpretation::populateCustomDecoders() {
    // The TARN custom decoders (science aggregates, MAIF, RSIM, laser and Pirani decoders)
    // register here, each under its own decoder type.
}

void TarDataInterpretation::populateDacTable(GseLib::DacTable& table, const QString& path) {
    readDacFile(table, path, "tarndatainterp");
}

std::unique_ptr<GseLib::DataInterpretation> TarDataInterpretationFactory::make() {
    return std::make_unique<TarDataInterpretation>();
}

std::unique_ptr<GseLib::DataInterpretation> TarDataInterpretationFactory::create(
    PluginManager*, const QList<QString>&) {
    return make();
}

}  // namespace TarGse
