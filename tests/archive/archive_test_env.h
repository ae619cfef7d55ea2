// Test helpers for the attached archive and the tools: a private temporary folder per test with the
// log kept inside it, small zip archives written with minizip, captured log lines, and module files
// the module can find by their instance handle. Single-threaded test code.
#ifndef XPLUG_TESTS_ARCHIVE_ARCHIVE_TEST_ENV_H
#define XPLUG_TESTS_ARCHIVE_ARCHIVE_TEST_ENV_H

#include <cstdint>
#include <string>
#include <vector>

#include "testsupport/read_file.h"

namespace xplug::test {

// Creates a fresh folder below XPLUG_TEST_TMP (or the system's temporary folder), points TEMP and the
// simulated documents folder at it, and returns its path.
std::string makeTestFolder();

struct ZipEntry {
  std::string name;
  std::string data;
  // 0 stored, 8 deflated.
  int method = 8;
};
// Writes a zip archive with these entries, in order; false when minizip failed.
bool writeZip(const std::string& path, const std::vector<ZipEntry>& entries);

using xplug::testing::readFile;
void writeFile(const std::string& path, const std::string& bytes);

// Log capture: the messages logged while it was running, without their timestamp prefix.
void startLogCapture();
std::vector<std::string> stopLogCapture();

// A loadable module file at `path` (a copy of a small test library, loaded there) and its instance
// handle, which the module turns back into the path. The file may be replaced or removed afterwards;
// the loaded copy stays in memory.
uintptr_t loadModuleFileAt(const std::string& path);

}  // namespace xplug::test

#endif  // XPLUG_TESTS_ARCHIVE_ARCHIVE_TEST_ENV_H
