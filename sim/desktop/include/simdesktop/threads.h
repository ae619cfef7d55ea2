// The simulated desktop's view of threads: a stable 32-bit identifier per thread (GetCurrentThreadId)
// and each thread's last error (GetLastError / SetLastError). Every desktop service that fails sets the
// calling thread's last error here. Callable from any thread.
#ifndef SIMDESKTOP_THREADS_H
#define SIMDESKTOP_THREADS_H

#include <cstdint>

namespace simdesktop {

// The thread the desktop window belongs to; never given to a thread of the process.
inline constexpr uint32_t kDesktopThreadId = 4;

// The calling thread's identifier: never 0, the same for the thread's whole life, and not shared with
// any other live thread. It is given out the first time a thread asks (or uses a window or a queue).
uint32_t currentThreadId();
// Test setting: threads that have no identifier yet get `first`, then the numbers after it (skipping 0
// and identifiers in use). Values with bit 31 set let tests see how a large identifier travels.
void setNextThreadId(uint32_t first);

// The calling thread's last error. Like Windows, successful calls leave it as it was unless their
// description says otherwise.
uint32_t getLastError();
void setLastError(uint32_t error);

}  // namespace simdesktop

#endif  // SIMDESKTOP_THREADS_H
