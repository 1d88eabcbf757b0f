#pragma once

// Umbrella header of the small station utilities.
#include <tools/util/appdefaults.h>
#include <tools/util/pluginmanager.h>
