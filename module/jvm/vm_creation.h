// Creates the process's Java VM from the runtime library that discovery loaded, with options built
// from the runtime's lib folder, the host type and the administrator's marker files. Called by the VM
// lookup (obtainJvmEnv) on FileMaker's thread when no VM exists yet.
#ifndef XPLUG_JVM_VM_CREATION_H
#define XPLUG_JVM_VM_CREATION_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace xplug {

// What the marker files in the shared application-data folder ask for.
struct VmMarkers {
  bool debug = false;
  // Set by lines "port=NUMBER" and "suspend=y" of a debug marker file; otherwise the host type's port,
  // and the VM runs on without waiting for a debugger.
  std::optional<int32_t> debugPort;
  bool debugSuspend = false;
  bool profile = false;
  bool headless = false;
  // The first line of "memorysize" without its line break; empty for no memory option.
  std::string memorySize;
};

// The longest memorysize line that fits the option "-Xmx<line>m" in its 31 characters.
inline constexpr std::size_t kMaxMemorySizeLength = 26;

// The folder the markers live in: the registry's "Common AppData" folder followed by "Kvantrel" and a
// separator, as a narrow path; none when the value cannot be read or the path is too long.
std::optional<std::string> vmMarkerFolder();

// Tests the markers in a folder (debug, profile, headless, memorysize), logging each one found. A debug
// marker that is a file may set the debugger's port and suspension (readDebugSettings).
VmMarkers readVmMarkers(const std::string& markerFolder);

// Reads "port=NUMBER" (1 to 65535) and "suspend=y" or "suspend=n" lines of a debug marker file into
// `markers`; blank lines and lines starting with '#' are skipped, any other line is logged and ignored.
void readDebugSettings(const std::string& path, VmMarkers& markers);

struct VmOptionInputs {
  std::u16string javaLibDir;
  std::u16string runtimeVersion;
  bool headless = false;
  int32_t debugPort = 4410;
  VmMarkers markers;
};

struct VmOption {
  std::string text;
  void* extraInfo = nullptr;
};

// The VM's start options in their fixed order, logging the debugger, headless and memory lines. None
// when a path option cannot be put into the ANSI code page (the VM must not get an option without its
// text).
std::optional<std::vector<VmOption>> buildVmOptions(const VmOptionInputs& inputs);

// Creates the VM. The outcome is in jvmSession (vm, headless, jvmError) and the log; on success the
// calling thread is attached to the new VM.
void createJvm();

}  // namespace xplug

#endif  // XPLUG_JVM_VM_CREATION_H
