#pragma once

// Umbrella header of the shared ground-support library.
#include <gselib/annotation.h>
#include <gselib/basetransform.h>
#include <gselib/ccsdspacket.h>
#include <gselib/ccsdsprimaryheader.h>
#include <gselib/compositetransform.h>
#include <gselib/config814.h>
#include <gselib/gse.h>
#include <gselib/piecewisetransform.h>
#include <gselib/polyfit.h>
#include <gselib/quorcoreapp.h>
#include <gselib/timeresolver.h>
#include <gselib/tmclock.h>
#include <gselib/tmmeta.h>
#include <gselib/tmpacket.h>
#include <gselib/tomchecksum.h>
#include <gselib/tompacket.h>
#include <gselib/transform.h>
