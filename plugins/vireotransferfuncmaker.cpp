#include <plugins/vireotransferfuncmaker.h>

#include <vireolib/vireolib.h>

std::unordered_set<int> VireoTransferFuncMaker::ids() {
    return {100, 101, 102, 104, 105, 106, 107};
}

std::shared_ptr<TransferFunc> VireoTransferFuncMaker::makeTransferFunc(int type,
                                                                       const std::vector<double>& k,
                                                                       const std::string&,
                                                                       const std::string&) {
    auto K = [&k](size_t n) { return n <= k.size() ? k[n - 1] : 0.0; };
    switch (type) {
        case 100:
            return std::make_shared<VIREO_ADC2OhmsTransferFunc>(std::vector<double>{0.0, K(1)},
                                                                std::vector<double>{65536.0, -1.0});
        case 101:
            return std::make_shared<VIREO_ThermistorTransferFunc>(k);
        case 102:
            return std::make_shared<VIREO_PRTDegreesTransferFunc>(K(1), K(2));
        case 104:
            return std::make_shared<VIREO_10kThermistorTransferFunc>(k);
        case 105:
            return std::make_shared<VIREO_CtlThermistorTransferFunc>(k);
        case 106:
            return std::make_shared<VIREO_CtlAmuxThermistorTransferFunc>(k);
        case 107:
            return std::make_shared<VIREO_Pt16x16DoubleTransferFunc>(k);
        default:
            return nullptr;
    }
}
