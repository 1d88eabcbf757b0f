#pragma once

#include <gselib/transferfunc.h>

#include <QList>
#include <set>
#include <string>
#include <vector>

class PluginManager;
class TransferFuncMakerInterface;

/**
 * @brief The process-wide source of transfer functions.
 *
 * Makers come from the plug-in manager; they are asked in load order, so for a type served twice
 * the first maker wins. Requests it cannot serve get the identity polynomial and a warning, so a
 * database row always has a usable function.
 */
class TransferFuncFactory {
public:
    static TransferFuncFactory& instance();

    /// Replaces the makers with those the manager has loaded (none for a null manager).
    void loadTransferFuncPlugins(PluginManager* manager);

    /// Never null: the identity polynomial when no maker builds type.
    std::shared_ptr<TransferFunc> makeTransferFunc(int type, const std::vector<double>& k,
                                                   const std::string& extra,
                                                   const std::string& databaseDir) const;

    const std::set<int>& types() const { return types_; }
    qsizetype makerCount() const { return makers_.size(); }

private:
    TransferFuncFactory() = default;

    QList<TransferFuncMakerInterface*> makers_;
    std::set<int> types_;
};
