// Test access to the log writer's fixed paths: FileMaker Server's log folders are probed at fixed
// absolute paths that a test cannot create, so tests point the probes elsewhere. Not for module code;
// call only while no other thread logs.
#ifndef XPLUG_LOG_LOG_TESTING_H
#define XPLUG_LOG_LOG_TESTING_H

#include <string>

namespace xplug {

struct ServerLogProbe {
  std::u16string probeFile;  // opened for reading to see whether the server is there
  std::u16string folder;     // where the log folder goes then
};
// Replaces the two probes, in order; restoreServerLogProbes() puts the platform's back.
void setServerLogProbes(const ServerLogProbe& first, const ServerLogProbe& second);
void restoreServerLogProbes();

}  // namespace xplug

#endif  // XPLUG_LOG_LOG_TESTING_H
