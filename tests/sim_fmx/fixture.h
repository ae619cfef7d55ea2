// Shared fixture of the simulated host's tests: a clean test-support state and a fresh error record per
// call. Tests run one per process, single-threaded unless a test starts threads itself.
#ifndef XPLUG_TESTS_SIM_FMX_FIXTURE_H
#define XPLUG_TESTS_SIM_FMX_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

  // Takes the host's misuse reports, for the tests that provoke them, as "operation: reason" with the
  // reason cut before its first ':' or '(' (where addresses follow).
  static std::vector<std::string> takeMisuse() {
    std::vector<std::string> taken;
    for (const fmsim::DeadObjectReport& report : fmsim::takeDeadObjectReports()) {
      std::string reason = report.reason.substr(0, report.reason.find_first_of(":("));
      while (!reason.empty() && reason.back() == ' ') reason.pop_back();
      taken.push_back(report.operation + ": " + reason);
    }
    return taken;
  }

  HostErrorRecord err_{1, 0};
};

#endif  // XPLUG_TESTS_SIM_FMX_FIXTURE_H
