// Start-up of a packed plug-in module in a fresh process, as FileMaker Pro does it: the host driver
// loads the module, then the span from the first string query to the end of the start-up call is
// written in nanoseconds to the result file. Exits non-zero when the plug-in did not start.
//
//   startup_module <packed module> <java home> <work folder> <result file>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "bench_support.h"
#include "fmsim/desktop_setup.h"
#include "fmsim/host_driver.h"
#include "fmx/fmx_extern.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: startup_module <packed module> <java home> <work folder> <result file>\n");
    return 2;
  }
  namespace fs = std::filesystem;
  const fs::path work = argv[3];
  fs::create_directories(work / "temp");
  ::setenv("TEMP", (work / "temp").c_str(), 1);
  fmsim::registerDocumentsFolder((work / "documents").string());
  fmsim::registerCommonAppData((work / "appdata").string());
  std::string error;
  if (!fmsim::registerJavaRuntime(argv[2], error)) {
    std::fprintf(stderr, "startup_module: %s\n", error.c_str());
    return 1;
  }
  fmsim::HostDriver host;
  if (!host.load(argv[1], error)) {
    std::fprintf(stderr, "startup_module: %s\n", error.c_str());
    return 1;
  }

  const int64_t start = xplug::bench::nowNanoseconds();
  host.getString(kFmxStringName);
  host.getString(kFmxStringHelp);
  host.getString(kFmxStringOptions);
  const int16_t started = host.startup(kFmxAppPro);
  const int64_t end = xplug::bench::nowNanoseconds();
  if (started != 0) {
    std::fprintf(stderr, "startup_module: the plug-in's start-up answered %d\n", static_cast<int>(started));
    return 1;
  }
  return xplug::bench::writeSpan(argv[4], end - start) ? 0 : 1;
}
