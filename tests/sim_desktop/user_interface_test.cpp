// Message boxes and debugger output are recorded and reach their listeners.
#include <gtest/gtest.h>

#include "simdesktop/desktop.h"

namespace simdesktop {
namespace {

class UserInterfaceTest : public ::testing::Test {
 protected:
  void SetUp() override { resetDesktop(); }
  void TearDown() override { resetDesktop(); }
};

TEST_F(UserInterfaceTest, MessageBoxIsRecordedWithItsCaptionAndHeard) {
  std::vector<MessageBoxRecord> heard;
  setMessageBoxListener([&](const MessageBoxRecord& record) {
    heard.push_back(record);
    // A listener may use the desktop itself.
    EXPECT_FALSE(recordedMessageBoxes().empty());
  });
  EXPECT_EQ(showMessageBox(u"Java is missing", nullptr), kMessageBoxOk);
  EXPECT_EQ(showMessageBox(nullptr, u"Title"), kMessageBoxOk);
  auto boxes = recordedMessageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, u"Java is missing");
  EXPECT_EQ(boxes[0].caption, kDefaultMessageBoxCaption);
  EXPECT_TRUE(boxes[0].defaultCaption);
  EXPECT_EQ(boxes[1].text, u"");
  EXPECT_EQ(boxes[1].caption, u"Title");
  EXPECT_FALSE(boxes[1].defaultCaption);
  ASSERT_EQ(heard.size(), 2u);
  EXPECT_EQ(heard[1].caption, u"Title");
  clearMessageBoxes();
  EXPECT_TRUE(recordedMessageBoxes().empty());
}

TEST_F(UserInterfaceTest, DebugOutputIsRecordedInOrderAndNullIgnored) {
  std::u16string heard;
  setDebugOutputListener([&](const std::u16string& text) { heard += text; });
  outputDebugString(u"one\n");
  outputDebugString(nullptr);
  outputDebugString(u"two");
  EXPECT_EQ(recordedDebugOutput(), (std::vector<std::u16string>{u"one\n", u"two"}));
  EXPECT_EQ(heard, u"one\ntwo");
  setDebugOutputListener(nullptr);
  outputDebugString(u"three");
  EXPECT_EQ(heard, u"one\ntwo");
  clearDebugOutput();
  EXPECT_TRUE(recordedDebugOutput().empty());
}

}  // namespace
}  // namespace simdesktop
