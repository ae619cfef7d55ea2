#include "host/host_session.h"

namespace xplug {

HostSession hostSession;
ExternCallRecord* currentCallRecord = nullptr;

}  // namespace xplug
