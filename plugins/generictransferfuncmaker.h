#pragma once

#include <gselib/transferfuncmakerinterface.h>

#include <QObject>

/**
 * @brief Built-in maker of the generic transfer functions, equation types 0 to 13.
 */
class GenericTransferFuncMaker : public QObject, public TransferFuncMakerInterface {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID TransferFuncMakerInterface_iid FILE "generictransferfuncmaker.json")
    Q_INTERFACES(TransferFuncMakerInterface)
public:
    std::unordered_set<int> ids() override;
    std::shared_ptr<TransferFunc> makeTransferFunc(int type, const std::vector<double>& k,
                                                   const std::string& extra,
                                                   const std::string& databaseDir) override;
};
