#include <tarnlib/tardatainterpretation.h>

#include <tarnlib/channeldecoders.h>
#include <tarnlib/itemdecoders.h>
#include <tarnlib/laserdecoders.h>
#include <tarnlib/maifdecoders.h>
#include <tarnlib/piranidecoders.h>
#include <tarnlib/rsimdecoders.h>
#include <tarnlib/sciencedecoders.h>
#include <tools/logger/eventmessage.h>

namespace TarGse {

void TarDataInterpretation::populateCustomDecoders() {
    using namespace TarDataInterpretationImpl;
    addDecoder(new AggregatedSciPacketDecoder);
    addDecoder(new GcPacketDecoder);
    addDecoder(new MaifDecoder);
    addDecoder(new MaifPressureDecoder);
    addDecoder(new MaifCurrentDecoder);
    addDecoder(new Maif1MinDecoder);
    addDecoder(new RsimBus1CurrentDecoder);
    addDecoder(new RsimBus1CurrentMinDecoder);
    addDecoder(new RsimBus1CurrentMaxDecoder);
    addDecoder(new RsimBus1CurrentAvgDecoder);
    addDecoder(new LaserPulseTimeDecoder);
    addDecoder(new LaserPulseRegsDecoder);
    addDecoder(new LaserEnergyUvEtuDecoder);
    addDecoder(new LaserEnergyUvEtuCalibratedDecoder);
    addDecoder(new LaserEnergyUvFlightDecoder);
    addDecoder(new MicroPiraniPressureDecoder);
    addDecoder(new MicroPiraniPressureAvgDecoder);
    addDecoder(new MicroPiraniPressureHiDecoder);
    addDecoder(new MicroPiraniPressureLoDecoder);
    addDecoder(new SebAdcValueDecoder);
    addDecoder(new MicroPiraniAlgorithmDecoder);
    addDecoder(new SebRfFreqDecoder);
    addDecoder(new RsimBus1PowerDecoder);
    addDecoder(new RsimBus2PowerDecoder);
    addDecoder(new RsimBus3PowerDecoder);
    addDecoder(new SumPacketTotalIonCountDecoder);
    addDecoder(new LaserEnergyUvEtuAvgDecoder);
    addDecoder(new LaserEnergyUvEtuMinDecoder);
    addDecoder(new LaserEnergyUvEtuMaxDecoder);
    addDecoder(new LaserEnergyUvEtuStdDevDecoder);
    addDecoder(new LaserHkDecoder);
    addDecoder(new SebFilamentResistance);
    addDecoder(new LaserEnergyUvFlightAvgDecoder);
    addDecoder(new LaserEnergyUvFlightMinDecoder);
    addDecoder(new LaserEnergyUvFlightMaxDecoder);
    addDecoder(new LaserEnergyUvFlightStdDevDecoder);
    addDecoder(new NormalizedRfPressure);
    addDecoder(new LaserEnergyUvFlightSpareDecoder);
    addDecoder(new LaserEnergyUvFlightSpareAvgDecoder);
    addDecoder(new LaserEnergyUvFlightSpareMinDecoder);
    addDecoder(new LaserEnergyUvFlightSpareMaxDecoder);
    addDecoder(new LaserEnergyUvFlightSpareStdDevDecoder);
    addDecoder(new RoverBus1PowerDecoder);
    addDecoder(new RoverBus2PowerDecoder);
    addDecoder(new RoverBus3PowerDecoder);
    addDecoder(new RoverBus4PowerDecoder);
    GSE_LOG_INFO("tarndatainterp", QStringLiteral("Loaded TARN decoders"));
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
