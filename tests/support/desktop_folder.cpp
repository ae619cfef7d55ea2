#include "testsupport/desktop_folder.h"

#include <stdlib.h>

#include "fmsim/desktop_setup.h"
#include "simdesktop/desktop.h"
#include "testsupport/test_folder.h"

namespace xplug::testing {

std::string makeDesktopTestFolder(const std::string& stem, const DesktopFolderOptions& options) {
  const std::string folder = makeTestFolder(stem).string();
  if (folder.empty()) return {};
  simdesktop::resetDesktop();
  ::setenv("TEMP", folder.c_str(), 1);
  if (options.allTemporaryVariables) {
    ::setenv("TMP", folder.c_str(), 1);
    ::setenv("TMPDIR", folder.c_str(), 1);
  }
  fmsim::registerDocumentsFolder(folder);
  return folder;
}

}  // namespace xplug::testing
