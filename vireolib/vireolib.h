#pragma once

// Umbrella header of the VIREO instrument support.
#include <vireolib/marker.h>
#include <vireolib/markerpacket.h>
#include <vireolib/vireo_10kthermistortransferfunc.h>
#include <vireolib/vireo_adc2ohmstransferfunc.h>
#include <vireolib/vireo_ctlamuxthermistortransferfunc.h>
#include <vireolib/vireo_ctlthermistortransferfunc.h>
#include <vireolib/vireo_prtdegreestransferfunc.h>
#include <vireolib/vireo_pt16x16doubletransferfunc.h>
#include <vireolib/vireo_thermistortransferfunc.h>
#include <vireolib/vireodatainterpretation.h>
#include <vireolib/vireodecoders.h>
#include <vireolib/vireomarkercache.h>
#include <vireolib/vireotelemetrycache.h>
#include <vireolib/vireotimeresolver.h>
