// One source, three plug-ins: the build picks the class with a definition.
#include "echointerface.h"

#include <QtPlugin>

#if defined(ECHO_PLUGIN_GENERIC)
class GenericEchoPlugin : public QObject, public EchoInterface {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID EchoInterface_iid FILE "genericecho.json")
    Q_INTERFACES(EchoInterface)
public:
    QString echo(const QString& text) const override { return "generic:" + text; }
};
#elif defined(ECHO_PLUGIN_OTHER)
class OtherEchoPlugin : public QObject, public EchoInterface {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID EchoInterface_iid FILE "otherecho.json")
    Q_INTERFACES(EchoInterface)
public:
    QString echo(const QString& text) const override { return "other:" + text; }
};
#elif defined(ECHO_PLUGIN_STATIC)
// No metadata file: its plug-in version is empty.
class GenericStaticEcho : public QObject, public EchoInterface {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID EchoInterface_iid)
    Q_INTERFACES(EchoInterface)
public:
    QString echo(const QString& text) const override { return "static:" + text; }
};
#endif

#include "echoplugins.moc"
