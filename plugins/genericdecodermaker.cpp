#include <plugins/genericdecodermaker.h>

#include <gselib/genericdecoders.h>

std::vector<GseLib::Decoder*> GenericDecoderMaker::makeDecoders() {
    using namespace GseLib;
    return {new SimpleDecoder,     new SimpleDecoderLE,
            new UnsignedDecoder,   new TwosCompDecoder,
            new FloatDecoder,      new DoubleDecoder,
            new StringDecoder,     new Time40Decoder,
            new Time42Decoder,     new Time44Decoder,
            new Time12Decoder,     new Time41Decoder,
            new TimeNsDecoder,     new RTime40Decoder,
            new HistoryMaxDecoder, new HistoryAvgDecoder,
            new HistoryMinDecoder, new HistoryRateDecoder,
            new HistorySumDecoder, new HistorySumOfSquaresDecoder,
            new BytesDecoder};
}
