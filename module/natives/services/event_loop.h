// The message loop that FileMaker's thread runs while a Java task works: one message at a time, or
// until the process-wide loop depth falls back to 0. The loop functions run on the thread whose queue
// they serve; stopEventLoop may be called from any thread.
#ifndef XPLUG_NATIVES_SERVICES_EVENT_LOOP_H
#define XPLUG_NATIVES_SERVICES_EVENT_LOOP_H

#include <cstdint>

#include "platform/platform.h"

namespace xplug {

// Waits for the calling thread's next message for `window` (0: every message of the thread), then
// translates and dispatches it. False when the loop must end: WM_QUIT arrived (it is consumed) or the
// wait failed (for example an invalid window); both are logged.
bool pumpOneMessage(platform::WindowHandle window);

// Raises the loop depth, then pumps messages until pumping fails or the depth is 0 after a message.
// A stop does not wake a waiting loop; the loop sees it after the next message has been handled.
void runEventLoop(platform::WindowHandle window);
// Lowers the loop depth; returns at once.
void stopEventLoop() noexcept;
// The depth as the loops see it: raised by every start, lowered by every stop.
int eventLoopDepth() noexcept;
// Messages the calling thread's loops have translated and dispatched so far.
uint64_t handledMessageCount() noexcept;

}  // namespace xplug

#endif  // XPLUG_NATIVES_SERVICES_EVENT_LOOP_H
