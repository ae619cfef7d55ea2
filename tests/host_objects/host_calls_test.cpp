// The error check, the checked call and the handle conversion: the rules every native relies on.
#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <ostream>

#include "natives/values/host_objects.h"

namespace xplug {
namespace {

struct ErrorCheckCase {
  int32_t code;
  enum { succeeds, outOfMemory, failure } outcome;
};

void PrintTo(const ErrorCheckCase& c, std::ostream* out) {
  *out << "code " << c.code;
}

class ErrorCheck : public ::testing::TestWithParam<ErrorCheckCase> {};

TEST_P(ErrorCheck, RaisesOnlyForOneAndTwo) {
  const ErrorCheckCase& c = GetParam();
  HostErrorRecord record{1, c.code};
  switch (c.outcome) {
    case ErrorCheckCase::succeeds:
      EXPECT_NO_THROW(checkHostError(record));
      break;
    case ErrorCheckCase::outOfMemory:
      EXPECT_THROW(checkHostError(record), std::bad_alloc);
      break;
    case ErrorCheckCase::failure:
      try {
        checkHostError(record);
        ADD_FAILURE() << "code 2 did not raise";
      } catch (const HostError& error) {
        EXPECT_EQ(error.code(), 2);
      }
      break;
  }
}

INSTANTIATE_TEST_SUITE_P(Codes, ErrorCheck,
                         ::testing::Values(ErrorCheckCase{0, ErrorCheckCase::succeeds},
                                           ErrorCheckCase{1, ErrorCheckCase::outOfMemory},
                                           ErrorCheckCase{2, ErrorCheckCase::failure},
                                           ErrorCheckCase{3, ErrorCheckCase::succeeds},
                                           ErrorCheckCase{4, ErrorCheckCase::succeeds},
                                           ErrorCheckCase{1000, ErrorCheckCase::succeeds},
                                           ErrorCheckCase{-1, ErrorCheckCase::succeeds}));

// A stand-in with the FM_ calling shape: it remembers the record it was given and reports a set code.
struct FakeOperation {
  static inline HostErrorRecord seen{};
  static inline int32_t codeToReport = 0;
  static inline int calls = 0;

  static int32_t add(int32_t a, int32_t b, HostErrorRecord* record) {
    ++calls;
    seen = *record;
    record->code = codeToReport;
    return a + b;
  }
  static void touch(const int* object, HostErrorRecord* record) {
    ++calls;
    seen = *record;
    record->code = codeToReport + *object;
  }
};

class CheckedCall : public ::testing::Test {
 protected:
  void SetUp() override {
    FakeOperation::seen = HostErrorRecord{-7, -7};
    FakeOperation::codeToReport = 0;
    FakeOperation::calls = 0;
  }
};

TEST_F(CheckedCall, PassesAFreshRecordAndReturnsTheResult) {
  EXPECT_EQ(hostCall(FakeOperation::add, 40, 2), 42);
  EXPECT_EQ(FakeOperation::seen.version, 1);
  EXPECT_EQ(FakeOperation::seen.code, 0);

  // A record left with an error by one call never leaks into the next.
  FakeOperation::codeToReport = 7;
  EXPECT_EQ(hostCall(FakeOperation::add, 1, 2), 3);
  EXPECT_EQ(hostCall(FakeOperation::add, 1, 2), 3);
  EXPECT_EQ(FakeOperation::seen.code, 0);
}

TEST_F(CheckedCall, RaisesAfterTheOperationRan) {
  FakeOperation::codeToReport = 1;
  EXPECT_THROW(hostCall(FakeOperation::add, 1, 1), std::bad_alloc);
  FakeOperation::codeToReport = 2;
  EXPECT_THROW(hostCall(FakeOperation::add, 1, 1), HostError);
  int object = 0;
  EXPECT_THROW(hostCall(FakeOperation::touch, &object), HostError);
  EXPECT_EQ(FakeOperation::calls, 3);

  FakeOperation::codeToReport = 0;
  object = 3;
  EXPECT_NO_THROW(hostCall(FakeOperation::touch, &object));
}

// Addresses as a 32-bit build sees them: widened with sign into Java, the low half read back.
struct HandleCase {
  uint64_t address;
  int64_t handle;
};

void PrintTo(const HandleCase& c, std::ostream* out) {
  *out << std::hex << "address 0x" << c.address;
}

class ThirtyTwoBitHandles : public ::testing::TestWithParam<HandleCase> {};

TEST_P(ThirtyTwoBitHandles, WidenWithSignAndRoundTrip) {
  const HandleCase& c = GetParam();
  EXPECT_EQ(handleFromAddress<4>(c.address), c.handle);
  EXPECT_EQ(addressFromHandle<4>(c.handle), c.address);
}

INSTANTIATE_TEST_SUITE_P(Addresses, ThirtyTwoBitHandles,
                         ::testing::Values(HandleCase{0, 0}, HandleCase{0x1000, 0x1000},
                                           HandleCase{0x7FFFFFFF, 0x7FFFFFFF},
                                           HandleCase{0x80000000u, -2147483648LL},
                                           HandleCase{0xFFFFFFF0u, -16}));

TEST(ThirtyTwoBitHandles, IgnoreTheUpperHalf) {
  const int64_t widened = handleFromAddress<4>(0x80000000u);
  const int64_t zeroUpper = 0x0000000080000000LL;
  const int64_t otherUpper = 0x1234567880000000LL;
  EXPECT_EQ(addressFromHandle<4>(zeroUpper), addressFromHandle<4>(widened));
  EXPECT_EQ(addressFromHandle<4>(otherUpper), 0x80000000u);
}

TEST(SixtyFourBitHandles, KeepTheWholeAddress) {
  for (uint64_t address :
       {uint64_t{0}, uint64_t{0x80000000u}, uint64_t{0x00007FFF12345678}, uint64_t{0xFFFF800000001000}}) {
    EXPECT_EQ(addressFromHandle<8>(handleFromAddress<8>(address)), address);
  }
  EXPECT_EQ(handleFromAddress<8>(0x80000000u), 0x80000000LL);
}

TEST(ObjectHandles, RoundTripThisBuildsPointers) {
  int object = 0;
  EXPECT_EQ(fromObjectHandle<int>(toObjectHandle(&object)), &object);
  EXPECT_EQ(toObjectHandle(nullptr), 0);
  EXPECT_EQ(fromObjectHandle<const FmxText>(0), nullptr);
}

}  // namespace
}  // namespace xplug
