#pragma once

// Umbrella header of the TARN instrument support.
#include <tarnlib/tardatainterpretation.h>
