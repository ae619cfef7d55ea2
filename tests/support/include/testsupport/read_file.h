// Reads what a program under test wrote (a log, a copied jar) as a whole file of bytes, for any test.
// Any thread.
#ifndef XPLUG_TESTS_SUPPORT_READ_FILE_H
#define XPLUG_TESTS_SUPPORT_READ_FILE_H

#include <filesystem>
#include <string>

namespace xplug::testing {

// The file's bytes; empty when it is missing or unreadable, which the caller's expectations then show.
std::string readFile(const std::filesystem::path& path);

}  // namespace xplug::testing

#endif  // XPLUG_TESTS_SUPPORT_READ_FILE_H
