#pragma once

#include <gselib/transferfuncmakerinterface.h>

#include <QObject>

/**
 * @brief Built-in maker of the VIREO transfer functions, equation types 100 to 107 (not 103).
 */
class VireoTransferFuncMaker : public QObject, public TransferFuncMakerInterface {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID TransferFuncMakerInterface_iid FILE "vireotransferfuncmaker.json")
    Q_INTERFACES(TransferFuncMakerInterface)
public:
    std::unordered_set<int> ids() override;
    std::shared_ptr<TransferFunc> makeTransferFunc(int type, const std::vector<double>& k,
                                                   const std::string& extra,
                                                   const std::string& databaseDir) override;
};
