// Runs a command (fmsim, the tools, the JDK's compiler) as a child process and captures what it prints, for
// the command-line tests. Any thread; the child gets this process's environment plus the given entries.
#ifndef XPLUG_TESTS_SUPPORT_RUN_COMMAND_H
#define XPLUG_TESTS_SUPPORT_RUN_COMMAND_H

#include <string>
#include <utility>
#include <vector>

namespace xplug::testing {

struct CommandResult {
  int status = -1;  // exit status, or -1 when the process did not exit normally
  std::string out;
  std::string err;
};

// Runs `program` with `arguments` and the extra environment entries ("NAME=value"), feeding `input` to
// its standard input.
CommandResult runCommand(const std::string& program, const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment = {}, const std::string& input = {});

}  // namespace xplug::testing

#endif  // XPLUG_TESTS_SUPPORT_RUN_COMMAND_H
