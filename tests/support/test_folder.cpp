#include "testsupport/test_folder.h"

#include <stdlib.h>

#include <cstdlib>
#include <system_error>

namespace xplug::testing {

std::filesystem::path makeTestFolder(const std::string& stem) {
  const char* base = std::getenv("XPLUG_TEST_TMP");
  std::error_code error;
  std::filesystem::path root = base != nullptr && *base != '\0' ? std::filesystem::path(base)
                                                                : std::filesystem::temp_directory_path(error);
  if (error) return {};
  std::filesystem::create_directories(root, error);
  if (error) return {};
  std::string pattern = (root / (stem + "XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

}  // namespace xplug::testing
