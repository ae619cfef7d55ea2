// The URL the class loader reads the plug-in's jar from: Java decodes its %XX escapes as UTF-8, so the
// path's letters outside ASCII and every character a URL reads otherwise are escaped from UTF-8.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "jvm/bridge_instance.h"

namespace xplug {
namespace {

TEST(JarUrl, EscapesThePathsUtf8AndTheCharactersAUrlReadsOtherwise) {
  EXPECT_EQ(jarUrlText("/tmp/Jos\xc3\xa9/My Plugin #2 100%.jar"),
            std::optional<std::string>("file:///tmp/Jos%C3%A9/My%20Plugin%20%232%20100%25.jar"));
  EXPECT_EQ(jarUrlText("/tmp/a-b_c.~(1)+x.jar"), std::optional<std::string>("file:///tmp/a-b_c.~(1)+x.jar"));
  EXPECT_EQ(jarUrlText(nullptr), std::nullopt);
}

}  // namespace
}  // namespace xplug
