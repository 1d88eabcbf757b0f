#include <plugins/generictransferfuncmaker.h>

#include <gselib/adc2ohmstransferfunc.h>
#include <gselib/adc2voltstransferfunc.h>
#include <gselib/degreestransferfunc.h>
#include <gselib/logtransferfunc.h>
#include <gselib/lookuptabletransferfunc.h>
#include <gselib/naturallogtransferfunc.h>
#include <gselib/polytransferfunc.h>
#include <gselib/prtdegreestransferfunc.h>
#include <gselib/rawtodouble.h>
#include <gselib/rsimdegreestransferfunc.h>
#include <gselib/sensewiretransferfunc.h>
#include <gselib/thermistortransferfunc.h>
#include <gselib/twoscomplementtransferfunc.h>

std::unordered_set<int> GenericTransferFuncMaker::ids() {
    return {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
}

std::shared_ptr<TransferFunc> GenericTransferFuncMaker::makeTransferFunc(
    int type, const std::vector<double>& k, const std::string& extra,
    const std::string& databaseDir) {
    // Rows always carry enough coefficients; a short list reads its missing ones as 0.
    auto K = [&k](size_t n) { return n <= k.size() ? k[n - 1] : 0.0; };
    constexpr double kInv65536 = 1.52587890625e-5;
    switch (type) {
        case 0:
            return std::make_shared<PolyTransferFunc>(0.0, 1.0, 0.0);
        case 1:
            return std::make_shared<PolyTransferFunc>(k);
        case 2:
            return std::make_shared<ADC2VoltsTransferFunc>(-0.5 * K(1) * K(2),
                                                           K(1) * K(2) * kInv65536, 0.0);
        case 3:
            return std::make_shared<ADC2OhmsTransferFunc>(
                ADC2OhmsTransferFunc::fromDivider(K(1), K(2)));
        case 4:
            return std::make_shared<DegreesTransferFunc>(k);
        case 5:
            return std::make_shared<RSimDegreesTransferFunc>(
                std::vector<double>{K(1), K(2), K(3), K(4)});
        case 6:
            return std::make_shared<PRTDegreesTransferFunc>(K(1), K(2), K(3));
        case 7:
            return std::make_shared<SenseWireTransferFunc>(k);
        case 8:
            return std::make_shared<ThermistorTransferFunc>(k);
        case 9:
            return std::make_shared<RawToDouble>(k);
        case 10:
            return std::make_shared<NaturalLogTransferFunc>(k);
        case 11:
            return std::make_shared<TwosComplementTransferFunc>(k);
        case 12:
            return std::make_shared<LookupTableTransferFunc>(databaseDir, extra);
        case 13:
            return std::make_shared<LogTransferFunc>(k);
        default:
            return nullptr;
    }
}
