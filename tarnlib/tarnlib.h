#pragma once

// Umbrella header of the TARN instrument support.
#include <tarnlib/definitionfields.h>
#include <tarnlib/fielddecoders.h>
#include <tarnlib/markercache.h>
#include <tarnlib/masscal.h>
#include <tarnlib/masscalentry.h>
#include <tarnlib/metamarker.h>
#include <tarnlib/metamarkercache.h>
#include <tarnlib/metamarkergenerator.h>
#include <tarnlib/metamarkerids.h>
#include <tarnlib/metamarkerrules.h>
#include <tarnlib/sebcmd.h>
#include <tarnlib/sebcmdinterpreter.h>
#include <tarnlib/sebsequence.h>
#include <tarnlib/tardatainterpretation.h>
#include <tarnlib/tarntime.h>
#include <tarnlib/tarntimeresolver.h>
#include <tarnlib/tartelemetrycache.h>
