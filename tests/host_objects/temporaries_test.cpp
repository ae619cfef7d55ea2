// Owners of temporary host objects against the simulated host: every make function's object is deleted
// exactly once, failed creations leave nothing behind, and a failed delete never escapes a destructor.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <ostream>
#include <string>
#include <utility>

#include "fmsim/test_support.h"
#include "host_test_env.h"
#include "natives/values/host_objects.h"

namespace xplug {
namespace {

using fmsim::ObjectKind;

class Temporaries : public ::testing::Test {
 protected:
  void SetUp() override {
    // Keeps the log that a failed delete writes inside the test's folder.
    ASSERT_FALSE(test::prepareTestFolder().empty());
    fmsim::resetTestSupport();
  }
  void TearDown() override {
    fmsim::disarmFaults();
    EXPECT_TRUE(fmsim::deadObjectReports().empty())
        << fmsim::deadObjectReports().front().operation << " " << fmsim::deadObjectReports().front().reason;
  }
};

struct OwnerCase {
  const char* name;
  ObjectKind kind;
  const char* constructor;
  // Makes an owner and, while it lives, returns the address it holds.
  std::function<const void*(std::function<void()>)> makeAndInspect;
};

void PrintTo(const OwnerCase& c, std::ostream* out) {
  *out << c.name;
}

template <typename Owner>
std::function<const void*(std::function<void()>)> ownerOf(Owner (*make)()) {
  return [make](std::function<void()> whileAlive) -> const void* {
    Owner owner = make();
    whileAlive();
    return owner.get();
  };
}

class EveryOwner : public Temporaries, public ::testing::WithParamInterface<OwnerCase> {};

TEST_P(EveryOwner, DeletesItsObjectOnce) {
  const OwnerCase& c = GetParam();
  int64_t before = fmsim::liveCount(c.kind);
  const void* address = c.makeAndInspect([&] { EXPECT_EQ(fmsim::liveCount(c.kind), before + 1); });
  EXPECT_NE(address, nullptr);
  EXPECT_EQ(fmsim::liveCount(c.kind), before);
}

TEST_P(EveryOwner, FailedCreationRaisesAndLeavesNothing) {
  const OwnerCase& c = GetParam();
  int64_t before = fmsim::totalLiveCount();
  ASSERT_TRUE(fmsim::armFault(c.constructor, 1, kHostErrorOutOfMemory));
  EXPECT_THROW(c.makeAndInspect([] {}), std::bad_alloc);
  ASSERT_TRUE(fmsim::armFault(c.constructor, 1, kHostErrorFailure));
  EXPECT_THROW(c.makeAndInspect([] {}), HostError);
  EXPECT_EQ(fmsim::totalLiveCount(), before);
}

TemporaryQuadChar makeTypedQuadChar() {
  return makeTemporaryQuadChar('J', 'P', 'E', 'G');
}
TemporaryQuadChar makeEmptyQuadChar() {
  return makeTemporaryQuadChar();
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, EveryOwner,
    ::testing::Values(
        OwnerCase{"Text", ObjectKind::Text, "FM_Text_Constructor1", ownerOf(makeTemporaryText)},
        OwnerCase{"FixPt", ObjectKind::FixPt, "FM_FixPt_Constructor1", ownerOf(makeTemporaryFixPt)},
        OwnerCase{"DateTime", ObjectKind::DateTime, "FM_DateTime_Constructor1",
                  ownerOf(makeTemporaryDateTime)},
        OwnerCase{"Color", ObjectKind::Color, "FM_Color_Constructor1", ownerOf(makeTemporaryColor)},
        OwnerCase{"EmptyQuadChar", ObjectKind::QuadChar, "FM_QuadChar_Constructor1",
                  ownerOf(makeEmptyQuadChar)},
        OwnerCase{"TypedQuadChar", ObjectKind::QuadChar, "FM_QuadChar_Constructor2",
                  ownerOf(makeTypedQuadChar)},
        OwnerCase{"ExprEnv", ObjectKind::ExprEnv, "FM_ExprEnv_Constructor1", ownerOf(makeTemporaryExprEnv)}),
    [](const ::testing::TestParamInfo<OwnerCase>& param) { return std::string(param.param.name); });

TEST_F(Temporaries, MovingHandsOverWithoutASecondDelete) {
  fmsim::clearTrace();
  fmsim::setTracing(true);
  {
    TemporaryText first = makeTemporaryText();
    TemporaryText second = std::move(first);
    EXPECT_EQ(first.get(), nullptr);
    TemporaryText third = makeTemporaryText();
    // Assigning over an owner deletes what it held.
    third = std::move(second);
    EXPECT_EQ(fmsim::liveCount(ObjectKind::Text), 1);
  }
  EXPECT_EQ(fmsim::liveCount(ObjectKind::Text), 0);
  int deletes = 0;
  for (const std::string& operation : fmsim::traceOperations()) deletes += operation == "FM_Text_Delete";
  EXPECT_EQ(deletes, 2);
}

TEST_F(Temporaries, FixedPointStartsAtZeroWithSixteenDigits) {
  fmsim::clearTrace();
  fmsim::setTracing(true);
  TemporaryFixPt number = makeTemporaryFixPt();
  EXPECT_EQ(hostCall(FM_FixPt_AsLong, number.get()), 0);
  std::vector<fmsim::TraceEntry> trace = fmsim::traceEntries();
  ASSERT_FALSE(trace.empty());
  EXPECT_EQ(trace.front().operation, "FM_FixPt_Constructor1");
  EXPECT_NE(trace.front().operands.find("16"), std::string::npos) << trace.front().operands;
  // Precision 16 keeps sixteen digits after the point.
  hostCall(FM_FixPt_AssignInt, number.get(), 7);
  EXPECT_EQ(hostCall(FM_FixPt_AsFloat, number.get()), 7.0);
}

TEST_F(Temporaries, DeleteNowRaisesTheHostsError) {
  TemporaryDateTime dateTime = makeTemporaryDateTime();
  ASSERT_TRUE(fmsim::armFault("FM_DateTime_Delete", 1, kHostErrorFailure));
  EXPECT_THROW(dateTime.deleteNow(), HostError);
  EXPECT_EQ(dateTime.get(), nullptr);
  // The owner is empty now; going out of scope deletes nothing more. The host kept the object.
  EXPECT_EQ(fmsim::takeObjectsLeftAlive(), "1 DateTime");
}

TEST_F(Temporaries, FailedDeleteInADestructorIsLoggedNotRaised) {
  ASSERT_TRUE(fmsim::armFault("FM_Color_Delete", 1, kHostErrorOutOfMemory));
  testing::internal::CaptureStdout();
  EXPECT_NO_THROW({ TemporaryColor color = makeTemporaryColor(); });
  std::string output = testing::internal::GetCapturedStdout();
  EXPECT_NE(output.find("Host error 1 while deleting a temporary color\n"), std::string::npos) << output;
  EXPECT_EQ(fmsim::firedFaultCount(), 1u);
  EXPECT_EQ(fmsim::takeObjectsLeftAlive(), "1 Color");
}

}  // namespace
}  // namespace xplug
