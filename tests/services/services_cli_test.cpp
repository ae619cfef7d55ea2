// The example plug-in's service functions as users call them through the fmsim command: evaluation,
// script starts, the clipboard, FileMaker's window and a task while FileMaker's thread pumps messages.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "testsupport/fmsim_command_test.h"

namespace xplug::testing {
namespace {

class ServicesCommand : public FmsimCommandTest {
 protected:
  ServicesCommand() : FmsimCommandTest({.folderStem = "services-cli-"}) {}
};

TEST_F(ServicesCommand, EvalEvaluatesInTheCurrentContext) {
  CommandResult run =
      fmsim({"-e", "XPEx_Eval(\"Upper(\\\"abc\\\") & 1+1\")", "-e",
             "XPEx_Eval(\"XPEx_Echo(\\\"in\\\") & XPEx_Reverse(\\\"ab\\\")\")", "-e", "XPEx_Eval(\"1 +\")"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "ABC2\ninba\n");
  EXPECT_NE(run.err.find("error "), std::string::npos) << run.err;
}

TEST_F(ServicesCommand, RunScriptShowsTheScriptStart) {
  CommandResult run = fmsim(
      {"-e", "XPEx_RunScript(\"Sales\"; \"Report\"; \"Q4\")", "-e", "XPEx_RunScript(\"Sales\"; \"Close\")"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "0\n0\n");
  EXPECT_NE(run.err.find("script: Sales / Report (Q4)\n"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("script: Sales / Close\n"), std::string::npos) << run.err;
}

TEST_F(ServicesCommand, ClipboardTextAndFormats) {
  CommandResult run = fmsim({"-e", "XPEx_ClipboardFormats() & \"|\" & XPEx_Clipboard()", "-e",
                             "XPEx_SetClipboard(\"hi\") & XPEx_Clipboard", "-e", "XPEx_ClipboardFormats",
                             "-e", "XPEx_SetClipboard(\"\") & \"[\" & XPEx_Clipboard() & \"]\""});
  EXPECT_EQ(run.status, 0) << run.err;
  // Unicode text first, then what the desktop makes of it: locale, ANSI and OEM text.
  EXPECT_EQ(run.out, "|\nhi\n13\n16\n1\n7\n[]\n") << run.err;
}

TEST_F(ServicesCommand, WindowTitleAndRunTask) {
  // With the module's console on standard error, where the VM's JNI checks would report too.
  CommandResult run =
      fmsim({"--log", "-e", "XPEx_WindowTitle()", "-e", "XPEx_RunTask(200)", "-e", "XPEx_WindowTitle()"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err.find("WARNING"), std::string::npos) << run.err;
  std::smatch match;
  ASSERT_TRUE(std::regex_match(run.out, match,
                               std::regex("FileMaker Pro - Untitled\n([0-9]+)\nFileMaker Pro - Untitled\n")))
      << run.out;
  // Every message FileMaker's thread handled during the task (fmsim's timer messages and the wake-up)
  // reached FileMaker's window: the window's own count agrees with what the task runner counted.
  EXPECT_GE(std::stoll(match[1].str()), 1) << run.out;
  EXPECT_NE(run.err.find("fmsim: FileMaker's window handled " + match[1].str() + " messages\n"),
            std::string::npos)
      << run.err;
  run = fmsim({"-e", "XPEx_RunTask(-1)"});
  EXPECT_EQ(run.status, 1);
}

// While XPEx_RunTask pumps FileMaker's messages, FileMaker idles and evaluates a calculation that calls
// the plug-in again (and Java evaluates once more inside it): every re-entry succeeds, nothing it does
// disturbs the task, and the JNI checks stay silent.
TEST_F(ServicesCommand, ReenteringCalculationsWhileATaskPumps) {
  CommandResult run = fmsim({"--log", "--reenter", "XPEx_Eval(\"XPEx_Reverse(\\\"ab\\\")\") & XPEx_Echo(1)",
                             "-e", "XPEx_RunTask(200) > 0", "-e", "XPEx_Echo(\"after\")"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "1\nafter\n") << run.err;
  EXPECT_EQ(run.err.find("WARNING"), std::string::npos) << run.err;
  std::smatch match;
  ASSERT_TRUE(std::regex_search(
      run.err, match, std::regex("FileMaker's window procedure evaluated .* ([0-9]+) times, 0 failed\n")))
      << run.err;
  EXPECT_GE(std::stoll(match[1].str()), 1) << run.err;
}

}  // namespace
}  // namespace xplug::testing
