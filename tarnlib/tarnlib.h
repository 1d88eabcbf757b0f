#pragma once

// Umbrella header of the TARN instrument support.
#include <tarnlib/tardatainterpretation.h>
#include <tarnlib/tarntime.h>
#include <tarnlib/tarntimeresolver.h>
#include <tarnlib/tartelemetrycache.h>
