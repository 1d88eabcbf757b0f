#pragma once

// Umbrella header of the built-in maker plug-ins.
#include <plugins/genericdecodermaker.h>
#include <plugins/generictransferfuncmaker.h>
#include <plugins/vireodecodermaker.h>
#include <plugins/vireotransferfuncmaker.h>

#include <QtPlugin>

/**
 * Registers the built-in makers with the framework's static-plugin registry, in the order the
 * module registers them. Expand it once, at file scope, in the program or module that links
 * k814plugins; the plug-in manager then finds them exactly as it finds plug-ins loaded from files.
 */
#define K814_IMPORT_BUILTIN_PLUGINS()         \
    Q_IMPORT_PLUGIN(GenericDecoderMaker)      \
    Q_IMPORT_PLUGIN(GenericTransferFuncMaker) \
    Q_IMPORT_PLUGIN(VireoTransferFuncMaker)   \
    Q_IMPORT_PLUGIN(VireoDecoderMaker)
