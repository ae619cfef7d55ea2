// A private folder that stands for the simulated user's machine in the in-process tests of the module
// (the archive copy, the host entry): a fresh simulated desktop whose documents folder and temporary
// folder are a new test folder, so that the module's log and files stay inside it. Test threads only.
#ifndef XPLUG_TESTS_SUPPORT_DESKTOP_FOLDER_H
#define XPLUG_TESTS_SUPPORT_DESKTOP_FOLDER_H

#include <string>

namespace xplug::testing {

struct DesktopFolderOptions {
  // Points TMP and TMPDIR at the folder as well as TEMP, for code that may ask the platform for its
  // temporary folder.
  bool allTemporaryVariables = false;
};

// Makes a test folder named after `stem`, resets the simulated desktop and points TEMP and the user's
// documents folder at the new folder; returns its path, empty when no folder could be made.
std::string makeDesktopTestFolder(const std::string& stem, const DesktopFolderOptions& options = {});

}  // namespace xplug::testing

#endif  // XPLUG_TESTS_SUPPORT_DESKTOP_FOLDER_H
