#include "testsupport/read_file.h"

#include <fstream>
#include <sstream>

namespace xplug::testing {

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace xplug::testing
