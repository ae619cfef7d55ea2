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

// The words to put before `program` to run it: the emulator of a build of another word size
// (XPLUG_TEST_EMULATOR, its words separated by '|') for that build's programs, nothing for the build
// machine's own (the JDK's compiler) or when there is no emulator.
std::vector<std::string> emulatorFor(const std::string& program);

// Runs `program` with `arguments` and the extra environment entries ("NAME=value"), feeding `input` to
// its standard input.
CommandResult runCommand(const std::string& program, const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment = {}, const std::string& input = {});

}  // namespace xplug::testing

#endif  // XPLUG_TESTS_SUPPORT_RUN_COMMAND_H
