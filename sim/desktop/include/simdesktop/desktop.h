// The whole simulated desktop for the host and tests: registry, code pages, message box and debugger
// output, and one call that puts all of them back to their start. Callable from any thread.
#ifndef SIMDESKTOP_DESKTOP_H
#define SIMDESKTOP_DESKTOP_H

#include "simdesktop/code_pages.h"
#include "simdesktop/registry.h"
#include "simdesktop/status.h"
#include "simdesktop/user_interface.h"

namespace simdesktop {

// Empties the registry and the recordings and removes the listeners. The calling thread's ANSI code
// page goes back to Windows-1252 (other threads keep theirs).
void resetDesktop();

}  // namespace simdesktop

#endif  // SIMDESKTOP_DESKTOP_H
