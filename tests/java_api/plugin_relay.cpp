#include "plugin_relay.h"

#include <stdlib.h>

#include <cstdlib>

#include "fmsim/calculation.h"
#include "fmsim/desktop_setup.h"
#include "fmsim/values.h"
#include "testsupport/test_folder.h"

namespace xplug::testing {

namespace fs = std::filesystem;

void PluginRelay::start(const std::string& modulePath, const char* timeZone) {
  root_ = makeTestFolder("java-api-relay-");
  ASSERT_FALSE(root_.empty());
  setenv("TEMP", root_.c_str(), 1);
  setenv("TZ", timeZone, 1);
  fmsim::registerDocumentsFolder((root_ / "documents").string());
  fmsim::registerCommonAppData((root_ / "appdata").string());
  std::string error;
  ASSERT_TRUE(fmsim::registerJavaRuntime(XPLUG_TEST_JAVA_HOME, error)) << error;
  ASSERT_TRUE(host_.load(modulePath, error)) << error;
  ASSERT_EQ(host_.startup(kFmxAppPro), 0);
  env_ = fmsim::makeExprEnv();
}

void PluginRelay::TearDown() {
  if (env_ != nullptr) fmsim::deleteExprEnv(env_);
  if (host_.loaded()) host_.shutdown();
  if (!root_.empty()) fs::remove_all(root_);
}

int16_t PluginRelay::call(const std::u16string& name, const std::vector<FmxData*>& parameters,
                          FmxData* result) {
  for (const fmsim::RegisteredFunction& function : fmsim::registeredFunctions()) {
    if (function.name == name) {
      FmxDataVect* vector = fmsim::makeDataVect(parameters);
      int16_t code = fmsim::callFunction(function, env_, vector, result);
      fmsim::deleteDataVect(vector);
      return code;
    }
  }
  ADD_FAILURE() << "no function " << fmsim::utf16ToUtf8(name) << " is registered";
  for (FmxData* parameter : parameters) fmsim::deleteData(parameter);
  return -1;
}

OwnedData::~OwnedData() {
  if (data_ != nullptr) fmsim::deleteData(data_);
}

}  // namespace xplug::testing
