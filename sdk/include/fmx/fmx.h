// The whole plug-in interface: types, FM_ operations and the call record.
#ifndef FMX_FMX_H
#define FMX_FMX_H

#include "fmx/fmx_calls.h"
#include "fmx/fmx_extern.h"
#include "fmx/fmx_types.h"

#endif  // FMX_FMX_H
