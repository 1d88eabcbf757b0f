#include <plugins/vireodecodermaker.h>

#include <vireolib/vireodecoders.h>

std::vector<GseLib::Decoder*> VireoDecoderMaker::makeDecoders() {
    using namespace VireoGse;
    return {new CtlHkAdcValuesDecoder,        new CtlStatusGenRegValuesDecoder,
            new CtlScienceBinCountsDecoder,   new CtlScienceSumRfTotalsDecoder,
            new LeuEnergySampleValueDecoder,  new LeuEnergySampleAvgDecoder,
            new LeuEnergySampleMinDecoder,    new LeuEnergySampleMaxDecoder,
            new LeuEnergySampleStdDevDecoder, new CtlScienceSumRfValuesDecoder,
            new MmcPiraniValuesDecoder,       new MmcStripChartDecoder,
            new MmcVRefCalibratedDecoder};
}
