#pragma once

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPluginLoader>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

/**
 * @brief Finds, registers and releases the plug-ins that supply maker objects.
 *
 * Static plug-ins come from the framework's static-plugin registry; dynamic ones are shared
 * libraries in plug-in directories, loaded with QPluginLoader. Every registered object is
 * labelled with six properties describing its origin. Class-name filters (unanchored regular
 * expression searches) restrict what later loads register. Callers ask for the registered objects
 * that implement an interface with `loadedPluginsAsQObject<Interface>()`.
 *
 * Reports go out as DEBUG event messages of category "plugin_manager". Nothing here throws:
 * unloadable files and missing directories are reported and skipped.
 */
class PluginManager : public QObject {
    Q_OBJECT
public:
    static const char* const PROPERTY_PLUGIN_PATH;
    static const char* const PROPERTY_PLUGIN_FILENAME;
    static const char* const PROPERTY_PLUGIN_CLASS;
    static const char* const PROPERTY_PLUGIN_METADATA;
    static const char* const PROPERTY_PLUGIN_VERSION;
    static const char* const PROPERTY_PLUGIN_QT_VERSION;

    explicit PluginManager(QObject* parent = nullptr);
    /// Unloads the library of every registered dynamic plug-in.
    ~PluginManager() override;

    Q_INVOKABLE void setClassFilters(const QList<QRegularExpression>& filters);
    /// Loads the static plug-ins, then the dynamic ones of dir (empty: the default location).
    Q_INVOKABLE int loadPlugins(const QString& dir);
    Q_INVOKABLE int loadPlugins();
    Q_INVOKABLE int loadPlugins(const QList<QString>& dirs);
    Q_INVOKABLE bool unloadPlugin(QPluginLoader* loader);
    Q_INVOKABLE int unloadPlugins(const QString& dir);
    Q_INVOKABLE int unloadPlugins();
    Q_INVOKABLE int unloadPlugins(const QList<QString>& dirs);

    /// "['pattern', ...]", or "[]" without filters.
    QString filtersString() const;
    /// True without filters, else when any filter matches anywhere in className.
    bool matchesFilter(const QString& className) const;
    /// "major.minor.patch" of the framework that built a plug-in, from its "version" key.
    QString metaQtVersionToString(const QJsonObject& metaData) const;

    /// The directory loadPlugins(dir) and unloadPlugins(dir) use for dir.
    static QString resolveDirectory(const QString& dir);
    /// Where plug-ins are looked for when the executable's directory has no "plugins" folder.
    static QString fallbackDirectory();

    /// Registered static instances, then dynamic root objects, that implement Interface.
    template <typename Interface>
    QList<QObject*> loadedPluginsAsQObject() const {
        return loadedPluginsImplementing(qobject_interface_iid<Interface*>());
    }
    QList<QObject*> loadedPluginsImplementing(const char* iid) const;

    QList<QObject*> staticPlugins() const { return staticPlugins_; }
    QList<QPluginLoader*> loaders() const { return loaders_; }

private:
    void label(QObject* object, const QString& path, const QString& fileName,
               const QJsonObject& metaData) const;
    static QString describe(const QObject* object, bool withPath);

    QList<QObject*> staticPlugins_;
    QList<QPluginLoader*> loaders_;
    QList<QRegularExpression> classFilters_;
    // The loader being registered while its duplicates are replaced.
    QPluginLoader* pending_ = nullptr;
};
