#pragma once

#include <gselib/decodermakerinterface.h>

#include <QObject>

/**
 * @brief Built-in maker of the generic decoders (types 1-10, 12, 14, 21, 28, 51-56, 61).
 */
class GenericDecoderMaker : public QObject, public DecoderMakerInterface {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID DecoderMakerInterface_iid FILE "genericdecodermaker.json")
    Q_INTERFACES(DecoderMakerInterface)
public:
    std::vector<GseLib::Decoder*> makeDecoders() override;
};
