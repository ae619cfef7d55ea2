// The simulated host's high placement: every object it hands out, views included, lies above
// 0x80000000, and the module's handles for them come back to the same objects. On a 32-bit build the
// handles are negative, and a handle whose upper half is anything but the sign extension of its lower
// half still reaches the object. Each test runs in a process of its own (the mode is process-wide).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fmsim/placement.h"
#include "fmsim/test_support.h"
#include "fmx/fmx_calls.h"
#include "natives/values/host_objects.h"

namespace xplug {
namespace {

// The handles Java might hand back for one object: the module's own, and on 32 bits the same low half
// under other upper halves.
std::vector<ObjectHandle> handlesFor(const void* object) {
  const ObjectHandle handle = toObjectHandle(object);
  std::vector<ObjectHandle> handles{handle};
  if constexpr (sizeof(void*) == 4) {
    const int64_t low = handle & 0xFFFFFFFFLL;
    handles.push_back(low);                                                // upper half zero
    handles.push_back(static_cast<int64_t>(0x1234567800000000ULL) | low);  // upper half unrelated
    handles.push_back(static_cast<int64_t>(0x7FFFFFFF00000000ULL) | low);  // only the high half's bits
  }
  return handles;
}

TEST(HighPlacement, EveryObjectLiesAboveTwoGigabytesAndEveryHandleFindsItAgain) {
  std::string error;
  ASSERT_TRUE(fmsim::enableHighPlacement(error)) << error;
  ASSERT_TRUE(fmsim::highPlacementEnabled());
  fmsim::resetTestSupport();

  HostErrorRecord err{1, 0};
  FmxData* data = FM_Data_Constructor1(&err);
  FmxText* text = FM_Text_Constructor1(&err);
  FM_Text_AssignUnicode(text, reinterpret_cast<const uint16_t*>(u"negative"), &err);
  FM_Data_SetAsText(data, text, FM_Data_GetLocale(data, &err), 1, &err);
  const FmxText* view = FM_Data_GetAsText(data, &err);
  FmxBinaryData* binary = FM_BinaryData_Constructor1(&err);
  FmxCharacterStyle* style = FM_CharacterStyle_Constructor1(&err);
  FmxFixPt* number = FM_FixPt_Constructor1(0, 16, &err);
  ASSERT_EQ(err.code, 0);

  const std::vector<const void*> objects{data, text, view, binary, style, number};
  for (const void* object : objects) {
    EXPECT_GE(reinterpret_cast<uintptr_t>(object), uintptr_t{0x80000000u}) << object;
    if constexpr (sizeof(void*) == 4) {
      EXPECT_LT(toObjectHandle(object), 0) << object;
    }
    for (ObjectHandle handle : handlesFor(object)) {
      EXPECT_EQ(fromObjectHandle<const void>(handle), object) << std::hex << handle;
    }
  }

  // The objects answer through every form of their handle, and the host saw no call on a dead object.
  for (ObjectHandle handle : handlesFor(view)) {
    EXPECT_EQ(FM_Text_GetSize(fromObjectHandle<const FmxText>(handle), &err), 8u);
  }
  for (ObjectHandle handle : handlesFor(text)) {
    FM_Text_AssignUnicode(fromObjectHandle<FmxText>(handle), reinterpret_cast<const uint16_t*>(u"ok"), &err);
    EXPECT_EQ(FM_Text_GetSize(text, &err), 2u);
  }
  FM_Data_Delete(fromObjectHandle<FmxData>(handlesFor(data).back()), &err);
  FM_Text_Delete(text, &err);
  FM_BinaryData_Delete(binary, &err);
  FM_CharacterStyle_Delete(style, &err);
  FM_FixPt_Delete(number, &err);
  EXPECT_EQ(err.code, 0);
  EXPECT_TRUE(fmsim::deadObjectReports().empty());
  EXPECT_EQ(fmsim::totalLiveCount(), 0);
}

}  // namespace
}  // namespace xplug
