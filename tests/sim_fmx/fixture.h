// Shared fixture of the simulated host's tests: a clean test-support state and a fresh error record per
// call. Tests run one per process, single-threaded unless a test starts threads itself.
#ifndef XPLUG_TESTS_SIM_FMX_FIXTURE_H
#define XPLUG_TESTS_SIM_FMX_FIXTURE_H

#include <gtest/gtest.h>

#include <string>

#include "fmsim/calculation.h"
#include "fmsim/test_support.h"
#include "fmsim/values.h"
#include "fmx/fmx.h"

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fmsim::resetTestSupport();
    fmsim::clearRegisteredFunctions();
    fmsim::setCurrentEnvironmentFailure(0);
  }
  void TearDown() override { fmsim::resetTestSupport(); }

  // A record as the module passes it: version 1, code 0.
  HostErrorRecord& fresh() {
    err_ = HostErrorRecord{1, 0};
    return err_;
  }
  int32_t code() const { return err_.code; }

  FmxText* text(const std::u16string& units) {
    FmxText* t = FM_Text_Constructor1(&fresh());
    FM_Text_AssignUnicodeWithLength(t, reinterpret_cast<const uint16_t*>(units.data()),
                                    static_cast<uint32_t>(units.size()), &fresh());
    return t;
  }
  std::u16string units(const FmxText* t) { return fmsim::textUnits(t); }

  HostErrorRecord err_{1, 0};
};

#endif  // XPLUG_TESTS_SIM_FMX_FIXTURE_H
