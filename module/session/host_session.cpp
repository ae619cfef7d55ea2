#include "session/host_session.h"

namespace xplug {

HostSession hostSession;
std::atomic<ExternCallRecord*> currentCallRecord{nullptr};

}  // namespace xplug
