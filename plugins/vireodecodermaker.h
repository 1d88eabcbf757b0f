#pragma once

#include <gselib/decodermakerinterface.h>

#include <QObject>

/**
 * @brief Built-in maker of the VIREO decoders (types 100-112).
 */
class VireoDecoderMaker : public QObject, public DecoderMakerInterface {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID DecoderMakerInterface_iid FILE "vireodecodermaker.json")
    Q_INTERFACES(DecoderMakerInterface)
public:
    std::vector<GseLib::Decoder*> makeDecoders() override;
};
