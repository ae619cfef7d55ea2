// The packed example module as the build makes it: its attached jar is found at the offset and its
// manifest gives the example's values without a single unrecognised key.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "archive/attached_jar.h"
#include "archive/plugin_manifest.h"
#include "archive_test_env.h"
#include "fmx/fmx_extern.h"
#include "session/host_session.h"

namespace xplug {
namespace {

TEST(ExampleModuleTest, AttachedJarOfThePackedModuleCarriesTheExampleManifest) {
  const std::string folder = test::makeTestFolder();
  ASSERT_FALSE(folder.empty());
  const std::string module = folder + "/plugins/XPlugExample.fmx";
  ExternCallRecord record{};
  record.instanceID = test::loadModuleFileAt(module);
  // Replaced, not rewritten in place: the loaded library still maps the original file.
  std::filesystem::remove(module);
  test::writeFile(module, test::readFile(XPLUG_EXAMPLE_MODULE));
  currentCallRecord = &record;

  test::startLogCapture();
  ASSERT_EQ(writeAttachedJarFile(), 1);
  const PluginMetadata metadata = readPluginMetadata(jarPath);
  EXPECT_EQ(test::stopLogCapture(),
            std::vector<std::string>{"writeAttachedJarFile(): writing jar " + folder + "/XPlugExample.jar"});
  currentCallRecord = nullptr;

  EXPECT_EQ(test::readFile(jarPath), test::readFile(XPLUG_EXAMPLE_JAR));
  EXPECT_EQ(metadata.name, XPLUG_EXAMPLE_PLUGIN_NAME);
  EXPECT_EQ(metadata.options, XPLUG_EXAMPLE_OPTIONS);
  EXPECT_EQ(metadata.help, XPLUG_EXAMPLE_HELP);
  EXPECT_EQ(metadata.version, XPLUG_EXAMPLE_VERSION);
}

}  // namespace
}  // namespace xplug
