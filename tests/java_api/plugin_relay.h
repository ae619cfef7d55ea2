// A started plug-in module in this process for the relay tests: the desktop set up in a private
// folder, the module loaded and started by the host driver, and calls of registered functions by name.
// One fixture per test process (a process hosts one Java VM); single-threaded test code.
#ifndef XPLUG_TESTS_JAVA_API_PLUGIN_RELAY_H
#define XPLUG_TESTS_JAVA_API_PLUGIN_RELAY_H

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "fmsim/host_driver.h"
#include "fmx/fmx_types.h"

namespace xplug::testing {

class PluginRelay : public ::testing::Test {
 protected:
  // Loads and starts `modulePath`; the Java VM runs in the zone `timeZone`.
  void start(const std::string& modulePath, const char* timeZone = "America/New_York");
  void TearDown() override;

  // Calls the registered function `name` with `parameters` (taken over: the vector deletes them) and
  // returns its error code; the result lands in `result`.
  int16_t call(const std::u16string& name, const std::vector<FmxData*>& parameters, FmxData* result);

  std::filesystem::path root_;
  fmsim::HostDriver host_;
  FmxExprEnv* env_ = nullptr;
};

// A data value the test owns for the length of a scope.
class OwnedData {
 public:
  explicit OwnedData(FmxData* data) : data_(data) {}
  OwnedData() : OwnedData(nullptr) {}
  ~OwnedData();
  OwnedData(const OwnedData&) = delete;
  OwnedData& operator=(const OwnedData&) = delete;
  FmxData* get() const { return data_; }

 private:
  FmxData* data_;
};

}  // namespace xplug::testing

#endif  // XPLUG_TESTS_JAVA_API_PLUGIN_RELAY_H
