// Reading the simulated host's trace in tests: which object an entry is about. Single-threaded tests.
#ifndef XPLUG_TESTS_HOST_OBJECTS_SIM_TRACE_H
#define XPLUG_TESTS_HOST_OBJECTS_SIM_TRACE_H

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fmsim/test_support.h"

namespace xplug::test {

inline std::string lowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// True when the entry's operands name this address (in hexadecimal, as the trace prints addresses).
inline bool mentions(const fmsim::TraceEntry& entry, const void* object) {
  char hex[32];
  std::snprintf(hex, sizeof(hex), "%llx",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(object)));
  return lowerCase(entry.operands).find(hex) != std::string::npos;
}

// The operation and object of each traced call, "FM_Text_Delete@A", with objects named by the caller.
struct NamedObject {
  const void* address;
  const char* name;
};

inline std::vector<std::string> describeTrace(const std::vector<NamedObject>& names) {
  std::vector<std::string> described;
  for (const fmsim::TraceEntry& entry : fmsim::traceEntries()) {
    std::string line = entry.operation;
    for (const NamedObject& named : names) {
      if (mentions(entry, named.address)) {
        line += "@";
        line += named.name;
        break;
      }
    }
    described.push_back(line);
  }
  return described;
}

}  // namespace xplug::test

#endif  // XPLUG_TESTS_HOST_OBJECTS_SIM_TRACE_H
