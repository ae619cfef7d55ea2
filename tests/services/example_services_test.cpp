// The example plug-in's service functions called in this process the way FileMaker calls them, where
// the test can see the host's live objects and the desktop's windows. One VM per process.
#include <gtest/gtest.h>

#include <string>

#include "simdesktop/windows.h"
#include "svc_vm_fixture.h"

namespace xplug::test {
namespace {

using ExampleServicesTest = SvcVmTest;

TEST_F(ExampleServicesTest, EvalCallingThePluginAgainLeavesNothingLive) {
  EXPECT_EQ(call(u"XPEx_Eval", {"Upper(\"abc\") & 1+1"}), "ABC2");
  EXPECT_EQ(call(u"XPEx_Eval", {"XPEx_Echo(\"a\") & XPEx_Eval(\"XPEx_Echo(1+1) & XPEx_Upper(\\\"b\\\")\")"}),
            "a2B");
  int16_t code = 0;
  call(u"XPEx_Eval", {"XPEx_Fail(42)"}, &code);
  EXPECT_EQ(code, 42);
  expectNothingLeft();
}

TEST_F(ExampleServicesTest, RunTaskGivesFileMakersWindowBackEnabledAndInFront) {
  simdesktop::WindowOptions options;
  options.title = u"FileMaker Pro - Untitled";
  simdesktop::WindowHandle fileMaker = simdesktop::createWindow(options);
  ASSERT_TRUE(simdesktop::setForegroundWindow(fileMaker));
  EXPECT_EQ(call(u"XPEx_WindowTitle", {}), "FileMaker Pro - Untitled");
  options.title = u"Another application";
  ASSERT_TRUE(simdesktop::setForegroundWindow(simdesktop::createWindow(options)));

  const std::string handled = call(u"XPEx_RunTask", {"200"});
  // At least the message that woke the loop when the task ended.
  EXPECT_GE(std::stoll(handled), 1) << handled;
  EXPECT_TRUE(simdesktop::isWindowEnabled(fileMaker));
  EXPECT_EQ(simdesktop::getForegroundWindow(), fileMaker);
  EXPECT_EQ(call(u"XPEx_WindowTitle", {}), "FileMaker Pro - Untitled");
  expectNothingLeft();
}

}  // namespace
}  // namespace xplug::test
