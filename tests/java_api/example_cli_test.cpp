// The example plug-in's functions as users call them through the fmsim command: results, chosen error
// codes, Java exceptions with their stack trace in the log, and the registered function list.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "testsupport/fmsim_command_test.h"
#include "testsupport/read_file.h"

namespace xplug::testing {
namespace {

namespace fs = std::filesystem;

class JavaApiExampleCommand : public FmsimCommandTest {
 protected:
  JavaApiExampleCommand() : FmsimCommandTest({.folderStem = "java-api-"}) {}

  std::string pluginLog() const { return readFile(logFolder() / "XPlug Example_FMPro.log"); }
};

TEST_F(JavaApiExampleCommand, FunctionsGiveTheirResults) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"XPEx_Echo(\"héllo – wörld ✓\")", "héllo – wörld ✓"},
      {"XPEx_Echo(\"\")", ""},
      {"XPEx_Add(2; 40)", "42"},
      // Exact decimals: through doubles these would be 0.30000000000000004 and ...888.
      {"XPEx_Add(0.1; 0.2)", "0.3"},
      {"XPEx_Add(12345678901234567890; 1)", "12345678901234567891"},
      {"XPEx_Add(-2.5; \"\")", "-2.5"},
      {"XPEx_ContainerInfo(XPEx_MakeContainer(\"abc\"; \"TEXT\"))", "TEXT:3"},
      {"XPEx_ContainerInfo(XPEx_MakeContainer(\"wörld ✓\"; \"UTF8\"))", "UTF8:10"},
      {"XPEx_Seconds(XPEx_Timestamp(1970;1;1;0;0;0))", "62135683200"},
      {"XPEx_Seconds(XPEx_Timestamp(1;1;1;0;0;1))", "86401"},
      // Fields beyond their range carry over, as FileMaker's own Timestamp does.
      {"XPEx_Timestamp(2026;13;32;25;0;0)", "2/2/2027 1:00:00 AM"},
      {"XPEx_Version()", XPLUG_EXAMPLE_VERSION},
      {"XPEx_Upper(\"straße\")", "STRASSE"},
      {"XPEx_Reverse(\"abc\")", "cba"},
      {"XPEx_Sum(1; 2; 3.5)", "6.5"},
      {"XPEx_Sum()", "0"},
      {"XPEx_Fail(0) & \"ok\"", "ok"},
  };
  std::vector<std::string> arguments;
  std::string expected;
  for (const auto& [expression, result] : cases) {
    arguments.insert(arguments.end(), {"-e", expression});
    expected += result + "\n";
  }
  CommandResult run = fmsim(arguments);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, expected) << run.err;
}

TEST_F(JavaApiExampleCommand, FailReturnsTheChosenCodeAndLogsOneLine) {
  CommandResult run = fmsim({"-e", "XPEx_Fail(7)", "-e", "XPEx_Echo(\"after\")"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("error 7:"), std::string::npos) << run.err;
  // The plug-in carries on after a failed call.
  EXPECT_EQ(run.out, "after\n");
  const std::string log = pluginLog();
  EXPECT_NE(log.find("The function XPEx_Fail returned error 7: XPEx_Fail was asked for error 7"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("\tat "), std::string::npos) << log;
}

TEST_F(JavaApiExampleCommand, AJavaExceptionFailsTheCallAndLogsItsStackTrace) {
  CommandResult run = fmsim({"-e", "XPEx_Throw(\"boom\")"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("error -1:"), std::string::npos) << run.err;
  const std::string log = pluginLog();
  EXPECT_NE(log.find("The function XPEx_Throw failed"), std::string::npos) << log;
  EXPECT_NE(log.find("java.lang.IllegalStateException: boom"), std::string::npos) << log;
  EXPECT_NE(log.find("\tat com.kelvo.xplug.example.ExamplePlugin.throwException("), std::string::npos) << log;
}

TEST_F(JavaApiExampleCommand, BadInputFailsWithAnExplanationInTheLog) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"XPEx_MakeContainer(\"abc\"; \"TOOLONG\")", "exactly four characters"},
      {"XPEx_MakeContainer(\"abc\"; \"JPÉG\")", "exactly four characters"},
      {"XPEx_Fail(99999)", "16-bit"},
  };
  for (const auto& [expression, explanation] : cases) {
    SCOPED_TRACE(expression);
    fs::remove_all(root_ / "documents");
    CommandResult run = fmsim({"-e", expression});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(pluginLog().find(explanation), std::string::npos) << pluginLog();
  }
}

TEST_F(JavaApiExampleCommand, ListsTheRegisteredFunctionsWithTheirPrototypes) {
  CommandResult run = fmsim({"--functions"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "XPEx_Add\tXPEx_Add( a ; b )\n"
            "XPEx_Clipboard\tXPEx_Clipboard\n"
            "XPEx_ClipboardFormats\tXPEx_ClipboardFormats\n"
            "XPEx_ContainerInfo\tXPEx_ContainerInfo( container )\n"
            "XPEx_Echo\tXPEx_Echo( value )\n"
            "XPEx_Eval\tXPEx_Eval( expression )\n"
            "XPEx_Fail\tXPEx_Fail( code )\n"
            "XPEx_MakeContainer\tXPEx_MakeContainer( text ; type )\n"
            "XPEx_Reverse\tXPEx_Reverse( text )\n"
            "XPEx_RunScript\tXPEx_RunScript( file ; script ; parameter )\n"
            "XPEx_RunTask\tXPEx_RunTask( milliseconds )\n"
            "XPEx_Seconds\tXPEx_Seconds( timestamp )\n"
            "XPEx_SetClipboard\tXPEx_SetClipboard( text )\n"
            "XPEx_Sum\tXPEx_Sum( number ; ... )\n"
            "XPEx_Throw\tXPEx_Throw( message )\n"
            "XPEx_Timestamp\tXPEx_Timestamp( year ; month ; day ; hour ; minute ; second )\n"
            "XPEx_Upper\tXPEx_Upper( text )\n"
            "XPEx_Version\tXPEx_Version\n"
            "XPEx_WindowTitle\tXPEx_WindowTitle\n");
}

// FileMaker Server calls plug-in functions from several threads at once: every thread's calls keep their
// own objects, so each of the many answers is right and no object dies under a call still using it.
TEST_F(JavaApiExampleCommand, FourHostThreadsGetOnlyRightAnswers) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"XPEx_Echo(\"héllo\")", "héllo"},
      {"XPEx_Reverse(\"abcdef\")", "fedcba"},
      {"XPEx_ContainerInfo(XPEx_MakeContainer(\"data\"; \"FILE\"))", "FILE:4"},
      // Nested calls on every thread: Java evaluates, the expression calls Java again.
      {"XPEx_Eval(\"XPEx_Reverse(\\\"xy\\\") & XPEx_Echo(1)\")", "yx1"},
  };
  std::vector<std::string> arguments = {"--app-type", "Server", "--threads", "4", "--repeat", "2500"};
  std::string expected;
  for (const auto& [expression, result] : cases) {
    arguments.insert(arguments.end(), {"-e", expression});
    expected += result + "\n";
  }
  CommandResult run = fmsim(arguments);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, expected);
  auto occurrences = [&](const std::string& piece) {
    size_t found = 0;
    for (size_t at = run.err.find(piece); at != std::string::npos; at = run.err.find(piece, at + 1)) ++found;
    return found;
  };
  EXPECT_EQ(occurrences("4 threads, 10000 evaluations in "), cases.size()) << run.err;
  EXPECT_EQ(occurrences(" per second, 0 wrong, 0 on dead objects\n"), cases.size()) << run.err;
}

}  // namespace
}  // namespace xplug::testing
