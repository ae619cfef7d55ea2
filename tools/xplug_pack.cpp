// xplug-pack: appends a plug-in jar to a module image at the offset the module reads it from.

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "pack_module.h"

namespace {

void printUsage(std::FILE* stream) {
  std::fprintf(stream,
               "usage: xplug-pack MODULE_IMAGE JAR OUTPUT [--offset N]\n"
               "\n"
               "Writes OUTPUT as MODULE_IMAGE padded with zeros to offset N, followed by JAR.\n"
               "N is decimal or hexadecimal (0x...); the default is this build's attached-jar\n"
               "offset, %#llx. An image larger than N is refused.\n"
               "\n"
               "exit status: 0 packed, 1 packing failed, 2 wrong arguments\n",
               static_cast<unsigned long long>(XPLUG_ATTACHED_JAR_OFFSET));
}

int run(int argc, char** argv) {
  std::vector<std::string> positional;
  uint64_t offset = XPLUG_ATTACHED_JAR_OFFSET;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      printUsage(stdout);
      return 0;
    }
    if (argument == "--offset") {
      if (i + 1 >= argc || !xplug::tools::parseOffset(argv[i + 1], &offset)) {
        std::fprintf(stderr, "xplug-pack: --offset needs a number (decimal or 0x hexadecimal)\n");
        return 2;
      }
      ++i;
    } else if (argument.size() > 1 && argument[0] == '-') {
      std::fprintf(stderr, "xplug-pack: unknown option %s\n", argument.c_str());
      printUsage(stderr);
      return 2;
    } else {
      positional.push_back(argument);
    }
  }
  if (positional.size() != 3) {
    printUsage(stderr);
    return 2;
  }
  const xplug::tools::PackOutcome outcome =
      xplug::tools::packModule(positional[0], positional[1], positional[2], offset);
  if (!outcome.ok) {
    std::fprintf(stderr, "xplug-pack: %s\n", outcome.error.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "xplug-pack: %s\n", error.what());
    return 1;
  }
}
