// Test helpers for the host entry: a private temporary folder per test, the simulated desktop pointed
// at it (documents folder and TEMP, so the log stays inside), a jar with a given manifest prepared as
// the module's archive copy, and host call records. Single-threaded test code.
#ifndef XPLUG_TESTS_HOST_HOST_TEST_ENV_H
#define XPLUG_TESTS_HOST_HOST_TEST_ENV_H

#include <string>

#include "fmx/fmx_extern.h"

namespace xplug::test {

// Creates a fresh folder below XPLUG_TEST_TMP (or the system's temporary folder), points TEMP and the
// simulated documents folder at it, and returns its path.
std::string prepareTestFolder();

// Writes a jar holding only "META-INF/MANIFEST.MF" with these bytes; false when it could not.
bool writeManifestJar(const std::string& jarFile, const std::string& manifestText);

// Makes the module treat `jarFile` as its archive copy, so that no copy is written.
void useArchiveCopy(const std::string& jarFile);

// A zeroed record for one host call.
ExternCallRecord makeRecord(uint8_t selector, uint8_t callParameter = 0);

}  // namespace xplug::test

#endif  // XPLUG_TESTS_HOST_HOST_TEST_ENV_H
