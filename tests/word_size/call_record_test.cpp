// The call record as the host driver builds it, read byte by byte by a module that knows only the
// offsets (record_probe.cpp). The header's compile-time checks say where the struct puts its fields;
// this says that the bytes a real host call hands over hold what the driver meant, at those offsets.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "fmsim/calculation.h"
#include "fmsim/host_driver.h"
#include "fmx/fmx_calls.h"
#include "record_offsets.h"

namespace xplug::test {
namespace {

class CallRecordBytes : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(driver_.load(XPLUG_TEST_RECORD_PROBE, error)) << error;
    library_ = dlopen(XPLUG_TEST_RECORD_PROBE, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(library_, nullptr);
    bytes_ = static_cast<const unsigned char*>(dlsym(library_, "recordProbeBytes"));
    ASSERT_NE(bytes_, nullptr);
  }
  void TearDown() override {
    if (library_ != nullptr) dlclose(library_);
  }

  uint64_t unsignedAt(size_t offset, size_t width) const {
    uint64_t value = 0;
    for (size_t i = 0; i < width; ++i) value |= uint64_t{bytes_[offset + i]} << (8 * i);  // little-endian
    return value;
  }
  uint64_t addressAt(size_t offset) const { return unsignedAt(offset, kRecordOffsets.addressWidth); }

  fmsim::HostDriver driver_;
  void* library_ = nullptr;
  const unsigned char* bytes_ = nullptr;
};

TEST_F(CallRecordBytes, GetStringCarriesItsFieldsAtTheHostsOffsets) {
  EXPECT_EQ(driver_.getString(kFmxStringOptions, 77), u"ok");  // the probe found the buffer at `result`
  const RecordOffsets& at = kRecordOffsets;
  EXPECT_EQ(unsignedAt(at.apiVersion, 2), uint64_t{fmsim::HostDriver::kApiVersion});
  EXPECT_EQ(bytes_[at.selector], kFmxSelectorGetString);
  EXPECT_EQ(bytes_[at.unsafeCalls], 0);
  EXPECT_EQ(bytes_[at.callParameter], kFmxStringOptions);
  EXPECT_EQ(unsignedAt(at.bufferCapacity, 4), 77u);
  EXPECT_EQ(addressAt(at.instanceID), reinterpret_cast<uintptr_t>(library_));
  EXPECT_NE(addressAt(at.result), 0u);
  EXPECT_EQ(addressAt(at.cCurrentEnv), reinterpret_cast<uintptr_t>(&fmsim::fmsimCurrentEnvironment));
}

TEST_F(CallRecordBytes, StartUpResultAndScriptCallbackSitAtTheirOffsets) {
  EXPECT_EQ(driver_.startup(kFmxAppServer, true), -2);  // the probe wrote 0xFFFFFFFE at `result`
  const RecordOffsets& at = kRecordOffsets;
  EXPECT_EQ(bytes_[at.selector], kFmxSelectorInit);
  EXPECT_EQ(bytes_[at.unsafeCalls], 1);
  EXPECT_EQ(bytes_[at.callParameter], kFmxAppServer);

  // The probe started a script through the address at the script callback's offset: the driver's own.
  ASSERT_EQ(driver_.scriptStarts().size(), 1u);
  EXPECT_EQ(driver_.scriptStarts()[0].file, u"Invoices");
  EXPECT_EQ(driver_.scriptStarts()[0].script, u"Print");
  EXPECT_EQ(driver_.scriptStarts()[0].control, 2);
}

}  // namespace
}  // namespace xplug::test
