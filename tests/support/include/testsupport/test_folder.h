// Private folders for tests: a fresh folder per test under XPLUG_TEST_TMP (the build's test folder that
// CTest hands every test), so that nothing a test writes lands elsewhere. Test threads only.
#ifndef XPLUG_TESTS_SUPPORT_TEST_FOLDER_H
#define XPLUG_TESTS_SUPPORT_TEST_FOLDER_H

#include <filesystem>
#include <string>

namespace xplug::testing {

// Creates a new folder named `stem` followed by six random characters under XPLUG_TEST_TMP (or the
// system's temporary folder when a test is started by hand); an empty path when it cannot.
std::filesystem::path makeTestFolder(const std::string& stem);

}  // namespace xplug::testing

#endif  // XPLUG_TESTS_SUPPORT_TEST_FOLDER_H
