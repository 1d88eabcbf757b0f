#pragma once

// Umbrella header of the event logger client.
#include <tools/logger/eventlogger.h>
#include <tools/logger/eventmessage.h>
#include <tools/logger/loggerconfig.h>
