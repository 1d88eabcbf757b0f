#include <vireolib/vireodatainterpretation.h>

namespace VireoGse {

void VireoDataInterpretation::populateCustomDecoders() {}

void VireoDataInterpretation::populateDacTable(GseLib::DacTable& table, const QString& path) {
    readDacFile(table, path, "vireodatainterp");
}

std::unique_ptr<GseLib::DataInterpretation> VireoDataInterpretationFactory::make() {
    return std::make_unique<VireoDataInterpretation>();
}

std::unique_ptr<GseLib::DataInterpretation> VireoDataInterpretationFactory::create(
    PluginManager*, const QList<QString>&) {
    return make();
}

}  // namespace VireoGse
