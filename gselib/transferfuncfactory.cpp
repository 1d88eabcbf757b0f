#include <gselib/transferfuncfactory.h>

#include <gselib/polytransferfunc.h>
#include <gselib/transferfuncmakerinterface.h>
#include <tools/logger/eventmessage.h>
#include <tools/util/pluginmanager.h>

TransferFuncFactory& TransferFuncFactory::instance() {
    static TransferFuncFactory factory;
    return factory;
}

void TransferFuncFactory::loadTransferFuncPlugins(PluginManager* manager) {
    makers_.clear();
    types_.clear();
    if (manager) {
        for (QObject* plugin : manager->loadedPluginsAsQObject<TransferFuncMakerInterface>()) {
            auto* maker = qobject_cast<TransferFuncMakerInterface*>(plugin);
            if (!maker) {
                continue;
            }
            GSE_LOG_DEBUG(
                "transfer_func",
                QStringLiteral("Loading transfer funcs from plugin: ") +
                    plugin->property(PluginManager::PROPERTY_PLUGIN_PATH).toString() +
                    QStringLiteral(" VERSION=") +
                    plugin->property(PluginManager::PROPERTY_PLUGIN_VERSION).toString() +
                    QStringLiteral(" QT_VERSION=") +
                    plugin->property(PluginManager::PROPERTY_PLUGIN_QT_VERSION).toString());
            makers_.append(maker);
            const std::unordered_set<int> ids = maker->ids();
            GSE_LOG_DEBUG("transfer_func", QStringLiteral("Num IDs: %1").arg(ids.size()));
            for (int id : ids) {
                if (!types_.insert(id).second) {
                    GSE_LOG_WARN("transfer_func",
                                 QStringLiteral("Duplicate transfer func id: %1").arg(id));
                }
            }
        }
    }
    GSE_LOG_DEBUG("transfer_func",
                  QStringLiteral("Total transfer func IDs loaded: %1").arg(types_.size()));
}

std::shared_ptr<TransferFunc> TransferFuncFactory::makeTransferFunc(
    int type, const std::vector<double>& k, const std::string& extra,
    const std::string& databaseDir) const {
    if (types_.count(type)) {
        for (TransferFuncMakerInterface* maker : makers_) {
            if (auto f = maker->makeTransferFunc(type, k, extra, databaseDir)) {
                return f;
            }
        }
    }
    GSE_LOG_WARN("transfer_func", QStringLiteral("Unsupported sci eq type: %1").arg(type));
    return std::make_shared<PolyTransferFunc>(0.0, 1.0, 0.0);
}
