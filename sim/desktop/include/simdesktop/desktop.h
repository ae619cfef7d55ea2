// The whole simulated desktop for the host and tests: registry, code pages, message box, debugger
// output, threads, windows, message queues and the clipboard, and one call that puts all of them back
// to their start. Callable from any thread.
#ifndef SIMDESKTOP_DESKTOP_H
#define SIMDESKTOP_DESKTOP_H

#include "simdesktop/clipboard.h"
#include "simdesktop/code_pages.h"
#include "simdesktop/registry.h"
#include "simdesktop/status.h"
#include "simdesktop/threads.h"
#include "simdesktop/user_interface.h"
#include "simdesktop/windows.h"

namespace simdesktop {

// Empties the registry and the recordings and removes the listeners; removes every window and queued
// message, empties and closes the clipboard and frees every global memory block. The calling thread's
// ANSI code page goes back to Windows-1252 (other threads keep theirs); thread identifiers stay.
void resetDesktop();

}  // namespace simdesktop

#endif  // SIMDESKTOP_DESKTOP_H
