#pragma once

#include <QObject>
#include <QString>

/// A maker-like interface for exercising the plug-in manager.
class EchoInterface {
public:
    virtual ~EchoInterface() = default;
    virtual QString echo(const QString& text) const = 0;
};

#define EchoInterface_iid "com.quor.test.EchoInterface"
Q_DECLARE_INTERFACE(EchoInterface, EchoInterface_iid)
