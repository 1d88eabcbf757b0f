#pragma once

#include <gselib/transferfunc.h>

#include <QtPlugin>
#include <string>
#include <unordered_set>
#include <vector>

/**
 * @brief What a transfer-function maker plug-in offers: the equation types it serves and a
 * builder for them.
 */
class TransferFuncMakerInterface {
public:
    virtual ~TransferFuncMakerInterface() = default;
    virtual std::unordered_set<int> ids() = 0;
    /// The function for type, or null when this maker does not build it.
    virtual std::shared_ptr<TransferFunc> makeTransferFunc(int type, const std::vector<double>& k,
                                                           const std::string& extra,
                                                           const std::string& databaseDir) = 0;
};

#define TransferFuncMakerInterface_iid "com.quor.gselib.TransferFuncMakerInterface"
Q_DECLARE_INTERFACE(TransferFuncMakerInterface, TransferFuncMakerInterface_iid)
