#pragma once

#include <gselib/decoder.h>

#include <QtPlugin>
#include <vector>

/**
 * @brief What a decoder maker plug-in offers: new decoder objects, owned by the caller.
 */
class DecoderMakerInterface {
public:
    virtual ~DecoderMakerInterface() = default;
    virtual std::vector<GseLib::Decoder*> makeDecoders() = 0;
};

#define DecoderMakerInterface_iid "com.quor.gselib.DecoderMakerInterface"
Q_DECLARE_INTERFACE(DecoderMakerInterface, DecoderMakerInterface_iid)
