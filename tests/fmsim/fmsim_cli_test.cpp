// The fmsim command as users run it: results on standard output, errors and exit status, the plug-in's
// strings, and where its log goes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "testsupport/fmsim_command_test.h"
#include "testsupport/read_file.h"

namespace xplug::testing {
namespace {

namespace fs = std::filesystem;

class FmsimCommand : public FmsimCommandTest {
 protected:
  FmsimCommand() : FmsimCommandTest({.folderStem = "fmsim-"}) {}
};

TEST_F(FmsimCommand, EvaluatesCalculationsWithoutAPlugin) {
  CommandResult run =
      fmsim({"--no-plugin", "-e", "Upper(\"abc\") & Length(\"xyz\")", "-e", "Let ( x = 2 ; x * 21 )"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "ABC3\n42\n");
}

TEST_F(FmsimCommand, ReadsDatesTimesAndRoundsAsFileMakerDoes) {
  CommandResult run = fmsim({"--no-plugin", "-e", "GetAsDate(\"2/29/2023\")", "-e", "GetAsTime(\"12:30 PM\")",
                             "-e", "Round(123.456; -1)"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "?\n12:30:00\n120\n");
}

TEST_F(FmsimCommand, ReportsAnEvaluationErrorWithItsMeaningAndFails) {
  CommandResult run = fmsim({"--no-plugin", "-e", "1 +", "-e", "2"});
  EXPECT_NE(run.status, 0);
  EXPECT_EQ(run.out, "2\n");
  EXPECT_NE(run.err.find("error 1204: "), std::string::npos) << run.err;
}

TEST_F(FmsimCommand, ReadsCalculationsFromStandardInputWithoutAPrompt) {
  CommandResult run = runCommand(FMSIM_PATH, {"--no-plugin"}, {}, "1+1\n\n  Upper(\"x\")  \n");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "2\nX\n");
  EXPECT_EQ(run.err, "");
}

TEST_F(FmsimCommand, CheckFileReportsEachFailureByLineAndASummary) {
  const fs::path checks = root_ / "checks.txt";
  std::ofstream(checks) << "# arithmetic\n1 + 1 => 2\n\nLength(\"ab\") => 3\n1 + => error 1204\n";
  CommandResult run = fmsim({"--no-plugin", "--check", checks.string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "line 4: Length(\"ab\"): expected 3, got 2\n2 passed, 1 failed\n");
}

TEST_F(FmsimCommand, RepeatPrintsTheResultOnceAndTheRate) {
  CommandResult run = fmsim({"--no-plugin", "--repeat", "50", "-e", "6 * 7"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "42\n");
  EXPECT_NE(run.err.find("50 evaluations in "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(" per second"), std::string::npos) << run.err;
}

TEST_F(FmsimCommand, RefusesUnknownOptions) {
  CommandResult run = fmsim({"--frobnicate"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("unknown option"), std::string::npos);
}

TEST_F(FmsimCommand, InfoPrintsThePluginsStringsAndLogsToTheSharedFile) {
  CommandResult run = fmsim({"--info"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "128: XPlug Example\n129: Example functions written in Java (1.0)\n131: XPEX1nnYn\n");
  const std::string log = readFile(logFolder() / "miscellaneous.log");
  EXPECT_NE(log.find(") Finished reading metadata; (XPlug Example) (XPEX1nnYn) (Example functions written in "
                     "Java) (1.0)\n"),
            std::string::npos)
      << log;
  const std::string tempLog = readFile(root_ / "temp" / "Kvttemp.log");
  EXPECT_NE(tempLog.find("---Started temp log at "), std::string::npos) << tempLog;
  EXPECT_NE(tempLog.find("Writing to log file at " + (logFolder() / "miscellaneous.log").string()),
            std::string::npos)
      << tempLog;
}

TEST_F(FmsimCommand, LogOptionEchoesTheModulesConsoleToStandardError) {
  CommandResult quiet = fmsim({"--info"});
  CommandResult echoed = fmsim({"--info", "--log"});
  EXPECT_EQ(quiet.err.find("Finished reading metadata"), std::string::npos);
  EXPECT_NE(echoed.err.find("Finished reading metadata"), std::string::npos);
  EXPECT_EQ(echoed.out, quiet.out);
}

TEST_F(FmsimCommand, APluginThatMisusesHostObjectsFailsTheCheckWithTheReport) {
  struct Case {
    const char* function;
    int status;
    std::string report;  // a part of the report on standard error; empty for none
  };
  const Case cases[] = {
      {"MU_Fine", 0, ""},
      {"MU_Leak", 3, "fmsim: misuse: shutdown: left alive: 1 Text\n"},
      {"MU_UseDeleted", 3, ": deleted Text\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.function);
    const fs::path checks = root_ / "checks.txt";
    std::ofstream(checks) << c.function << " ( ) & \"ok\" => ok\n";
    CommandResult run = fmsim({"--plugin", MISUSE_MODULE, "--check", checks.string()});
    // The calculations themselves pass; only the misuse fails the run.
    EXPECT_NE(run.out.find("1 passed, 0 failed"), std::string::npos) << run.out;
    EXPECT_EQ(run.status, c.status) << run.err;
    if (c.report.empty()) {
      EXPECT_EQ(run.err.find("misuse"), std::string::npos) << run.err;
    } else {
      EXPECT_NE(run.err.find(c.report), std::string::npos) << run.err;
    }
  }
  CommandResult deleted = fmsim({"--plugin", MISUSE_MODULE, "-e", "MU_UseDeleted ( )"});
  EXPECT_NE(deleted.err.find("fmsim: misuse: FM_Text_GetSize on 0x"), std::string::npos) << deleted.err;
}

TEST_F(FmsimCommand, WhatTheModuleLeftUnsetShowsAsMarkerBytes) {
  // A start-up result never written reads as the marker, not as a 0 that would enable the plug-in.
  CommandResult unset = fmsim({"--plugin", MISUSE_MODULE, "--app-type", "Runtime", "-e", "1"});
  EXPECT_NE(unset.err.find("fmsim: the plug-in answered -23131 at start-up"), std::string::npos) << unset.err;
  // A string answer without its terminator is a misuse.
  CommandResult unterminated =
      run("/usr/bin/env", {"MISUSE_UNTERMINATED=1", FMSIM_PATH, "--documents", documents().string(),
                           "--plugin", MISUSE_MODULE, "--info"});
  EXPECT_EQ(unterminated.status, 3) << unterminated.err;
  EXPECT_NE(unterminated.err.find("fmsim: misuse: get string 129: no terminator within the buffer"),
            std::string::npos)
      << unterminated.err;
}

}  // namespace
}  // namespace xplug::testing
