#include "fuzz_support.h"

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>

#include "simdesktop/desktop.h"
#include "simdesktop/registry.h"

namespace xplug::fuzz {

std::string prepareProcess() {
  simdesktop::resetDesktop();
  // A folder below a file can be neither made nor written: every log file and the temp log fail to
  // open, which the module reports on standard output and otherwise ignores.
  simdesktop::setRegistryString(simdesktop::RegistryRoot::currentUser,
                                u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                                u"Personal", u"/dev/null/documents");
  ::setenv("TEMP", "/dev/null/temp", 1);
  // The log's standard-output copy would drown libFuzzer's own report.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  char folder[] = "/tmp/xplug-fuzz-XXXXXX";
  if (::mkdtemp(folder) == nullptr) std::abort();
  return folder;
}

}  // namespace xplug::fuzz
