#pragma once

// Umbrella header of the small station utilities.
#include <tools/util/appdefaults.h>
