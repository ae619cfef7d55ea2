// Putting the whole desktop back to its start, for hosts and tests that run many sessions in a process.
#include "simdesktop/desktop.h"

namespace simdesktop {

void resetDesktop() {
  clearRegistry();
  clearMessageBoxes();
  clearDebugOutput();
  setMessageBoxListener(nullptr);
  setDebugOutputListener(nullptr);
  setThreadAnsiCodePage(kCodePageWindows1252);
  resetWindows();
  resetClipboard();
}

}  // namespace simdesktop
