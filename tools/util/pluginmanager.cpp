#include <tools/util/pluginmanager.h>

#include <tools/logger/eventmessage.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonValue>
#include <QStaticPlugin>
#include <algorithm>

#ifndef K814_PLUGIN_FALLBACK_DIR
#define K814_PLUGIN_FALLBACK_DIR ""
#endif

#define PM_REPORT(text) GSE_LOG_DEBUG("plugin_manager", text)

const char* const PluginManager::PROPERTY_PLUGIN_PATH = "PLUGIN_FILEPATH";
const char* const PluginManager::PROPERTY_PLUGIN_FILENAME = "PLUGIN_FILENAME";
const char* const PluginManager::PROPERTY_PLUGIN_CLASS = "PLUGIN_CLASS";
const char* const PluginManager::PROPERTY_PLUGIN_METADATA = "PLUGIN_METADATA";
const char* const PluginManager::PROPERTY_PLUGIN_VERSION = "PLUGIN_VERSION";
const char* const PluginManager::PROPERTY_PLUGIN_QT_VERSION = "PLUGIN_QT_VERSION";

namespace {

QString prop(const QObject* o, const char* name) {
    return o->property(name).toString();
}

QString pluginVersion(const QJsonObject& metaData) {
    const QJsonValue v =
        metaData.value(QStringLiteral("MetaData")).toObject().value(QStringLiteral("version"));
    if (v.isUndefined() || v.isNull()) {
        return QString();
    }
    return v.toVariant().toString();
}

}  // namespace

PluginManager::PluginManager(QObject* parent) : QObject(parent) {}

PluginManager::~PluginManager() {
    for (QPluginLoader* loader : std::as_const(loaders_)) {
        loader->unload();
        if (!loader->parent()) {
            delete loader;
        }
    }
}

void PluginManager::setClassFilters(const QList<QRegularExpression>& filters) {
    classFilters_ = filters;
}

QString PluginManager::filtersString() const {
    QStringList quoted;
    for (const QRegularExpression& re : classFilters_) {
        quoted.append(QLatin1Char('\'') + re.pattern() + QLatin1Char('\''));
    }
    return QLatin1Char('[') + quoted.join(QStringLiteral(", ")) + QLatin1Char(']');
}

bool PluginManager::matchesFilter(const QString& className) const {
    if (classFilters_.isEmpty()) {
        return true;
    }
    for (const QRegularExpression& re : classFilters_) {
        if (re.match(className).hasMatch()) {
            return true;
        }
    }
    return false;
}

QString PluginManager::metaQtVersionToString(const QJsonObject& metaData) const {
    const int v = metaData.value(QStringLiteral("version")).toInt();
    return QStringLiteral("%1.%2.%3").arg((v >> 16) & 0xff).arg((v >> 8) & 0xff).arg(v & 0xff);
}

QString PluginManager::fallbackDirectory() {
    return QStringLiteral(K814_PLUGIN_FALLBACK_DIR);
}

QString PluginManager::resolveDirectory(const QString& dir) {
    if (!dir.isEmpty()) {
        return QFileInfo(dir).absoluteFilePath();
    }
    QDir base(QCoreApplication::applicationDirPath());
    if (base.dirName().toLower() == QLatin1String("macos")) {
        base.cdUp();
    }
    if (!base.cd(QStringLiteral("plugins"))) {
        base = QDir(fallbackDirectory());
    }
    return base.absolutePath();
}

int PluginManager::loadPlugins(const QString& dir) {
    return loadPlugins(QList<QString>{resolveDirectory(dir)});
}

int PluginManager::loadPlugins() {
    return loadPlugins(QString());
}

void PluginManager::label(QObject* object, const QString& path, const QString& fileName,
                          const QJsonObject& metaData) const {
    object->setProperty(PROPERTY_PLUGIN_PATH, path);
    object->setProperty(PROPERTY_PLUGIN_FILENAME, fileName);
    object->setProperty(PROPERTY_PLUGIN_CLASS,
                        QString::fromLatin1(object->metaObject()->className()));
    object->setProperty(PROPERTY_PLUGIN_METADATA, metaData);
    object->setProperty(PROPERTY_PLUGIN_VERSION, pluginVersion(metaData));
    object->setProperty(PROPERTY_PLUGIN_QT_VERSION, metaQtVersionToString(metaData));
}

QString PluginManager::describe(const QObject* o, bool withPath) {
    QString text = QStringLiteral(" CLASS=") + prop(o, PROPERTY_PLUGIN_CLASS);
    if (withPath) {
        text += QStringLiteral(" FILEPATH=") + prop(o, PROPERTY_PLUGIN_PATH);
    }
    return text + QStringLiteral(" VERSION=") + prop(o, PROPERTY_PLUGIN_VERSION) +
           QStringLiteral(" QT_VERSION=") + prop(o, PROPERTY_PLUGIN_QT_VERSION);
}

int PluginManager::loadPlugins(const QList<QString>& dirs) {
    int count = 0;
    PM_REPORT(classFilters_.isEmpty() ? QStringLiteral("Loading static plugins...")
                                      : QStringLiteral("Loading static plugins that match ") +
                                            filtersString() + QStringLiteral("..."));
    const QList<QStaticPlugin> registry = QPluginLoader::staticPlugins();
    for (const QStaticPlugin& plugin : registry) {
        QObject* instance = plugin.instance();
        if (!instance) {
            continue;
        }
        const QString className = QString::fromLatin1(instance->metaObject()->className());
        if (!matchesFilter(className)) {
            continue;
        }
        label(instance, className, QStringLiteral("static"), plugin.metaData());
        const QObject* duplicate = nullptr;
        for (const QObject* known : std::as_const(staticPlugins_)) {
            if (prop(known, PROPERTY_PLUGIN_CLASS) == className &&
                prop(known, PROPERTY_PLUGIN_VERSION) == prop(instance, PROPERTY_PLUGIN_VERSION)) {
                duplicate = known;
                break;
            }
        }
        if (duplicate) {
            PM_REPORT(QStringLiteral("Duplicate static plugin found:") + describe(duplicate, true));
            continue;
        }
        staticPlugins_.append(instance);
        PM_REPORT(QStringLiteral("Loaded static plugin:") + describe(instance, false));
        ++count;
    }

    PM_REPORT(classFilters_.isEmpty() ? QStringLiteral("Loading dynamic plugins...")
                                      : QStringLiteral("Loading dynamic plugins that match ") +
                                            filtersString() + QStringLiteral("..."));
    for (const QString& dir : dirs) {
        PM_REPORT(QStringLiteral("Searching for plugins in: ") + dir);
        const QFileInfoList files = QDir(dir).entryInfoList(QDir::Files, QDir::Unsorted);
        for (const QFileInfo& file : files) {
            const QString path = file.absoluteFilePath();
            auto* loader = new QPluginLoader(path, parent());
            // load() first: instance() alone takes no reference of its own when another loader
            // already has the library, and unloading that other loader would then pull the
            // library (and this root object) away.
            QObject* root = loader->load() ? loader->instance() : nullptr;
            if (!root) {
                PM_REPORT(QStringLiteral("Could not load plugin: ") + file.fileName() +
                          QStringLiteral(" Reason: ") + loader->errorString());
                delete loader;
                continue;
            }
            if (!matchesFilter(QString::fromLatin1(root->metaObject()->className()))) {
                // Never registered, so nothing would ever unload it: release it now.
                loader->unload();
                delete loader;
                continue;
            }
            label(root, path, file.fileName(), loader->metaData());
            pending_ = loader;
            for (qsizetype i = loaders_.size() - 1; i >= 0; --i) {
                QPluginLoader* known = loaders_[i];
                QObject* knownRoot = known->instance();
                if (!knownRoot || prop(knownRoot, PROPERTY_PLUGIN_FILENAME) != file.fileName()) {
                    continue;
                }
                PM_REPORT(QStringLiteral("Duplicate plugin found:") + describe(knownRoot, true));
                if (unloadPlugin(known)) {
                    loaders_.removeAt(i);
                }
            }
            pending_ = nullptr;
            loaders_.append(loader);
            PM_REPORT(QStringLiteral("Loaded plugin:") + describe(root, true));
            ++count;
        }
    }
    return count;
}

bool PluginManager::unloadPlugin(QPluginLoader* loader) {
    if (!loader) {
        return false;
    }
    if (QObject* root = loader->instance()) {
        PM_REPORT(QStringLiteral("Unloading plugin:") + describe(root, true));
    }
    // Loaders of one file share the library; dropping one of several references is all an
    // unload can do then, and the framework reports it as false although nothing went wrong.
    const bool shared =
        std::any_of(loaders_.cbegin(), loaders_.cend(),
                    [loader](const auto* other) {
                        return other != loader && other->fileName() == loader->fileName();
                    }) ||
        (pending_ && pending_ != loader && pending_->fileName() == loader->fileName());
    if (loader->unload() || shared) {
        delete loader;
        return true;
    }
    PM_REPORT(QStringLiteral("Failed to unload plugin: ") + QStringLiteral(" Reason: ") +
              loader->errorString());
    return false;
}

int PluginManager::unloadPlugins(const QString& dir) {
    return unloadPlugins(QList<QString>{resolveDirectory(dir)});
}

int PluginManager::unloadPlugins() {
    return unloadPlugins(QString());
}

int PluginManager::unloadPlugins(const QList<QString>& dirs) {
    int count = 0;
    for (const QString& dir : dirs) {
        PM_REPORT(QStringLiteral("Unloading plugins from: ") + dir);
        const QString target = QFileInfo(dir).absoluteFilePath();
        for (qsizetype i = 0; i < loaders_.size();) {
            QPluginLoader* loader = loaders_[i];
            const QObject* root = loader->instance();
            const QString path = root ? prop(root, PROPERTY_PLUGIN_PATH) : loader->fileName();
            if (QFileInfo(path).absolutePath() == target && unloadPlugin(loader)) {
                loaders_.removeAt(i);
                ++count;
            } else {
                ++i;
            }
        }
    }
    return count;
}

QList<QObject*> PluginManager::loadedPluginsImplementing(const char* iid) const {
    QList<QObject*> out;
    for (QObject* o : staticPlugins_) {
        if (o && o->qt_metacast(iid)) {
            out.append(o);
        }
    }
    for (QPluginLoader* loader : loaders_) {
        QObject* o = loader->instance();
        if (o && o->qt_metacast(iid)) {
            out.append(o);
        }
    }
    return out;
}
