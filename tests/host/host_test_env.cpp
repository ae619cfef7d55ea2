#include "host_test_env.h"

#include <minizip/zip.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/attached_jar.h"
#include "testsupport/desktop_folder.h"

namespace xplug::test {

std::string prepareTestFolder() {
  return xplug::testing::makeDesktopTestFolder("host-", {.allTemporaryVariables = true});
}

bool writeManifestJar(const std::string& jarFile, const std::string& manifestText) {
  zipFile archive = zipOpen(jarFile.c_str(), APPEND_STATUS_CREATE);
  if (archive == nullptr) return false;
  zip_fileinfo info{};
  bool written = zipOpenNewFileInZip(archive, "META-INF/MANIFEST.MF", &info, nullptr, 0, nullptr, 0, nullptr,
                                     Z_DEFLATED, Z_DEFAULT_COMPRESSION) == ZIP_OK &&
                 zipWriteInFileInZip(archive, manifestText.data(),
                                     static_cast<unsigned>(manifestText.size())) == ZIP_OK &&
                 zipCloseFileInZip(archive) == ZIP_OK;
  return zipClose(archive, nullptr) == ZIP_OK && written;
}

void useArchiveCopy(const std::string& jarFile) {
  std::strncpy(jarPath, jarFile.c_str(), sizeof(jarPath) - 1);
  jarPath[sizeof(jarPath) - 1] = '\0';
  jarWritten = true;
}

ExternCallRecord makeRecord(uint8_t selector, uint8_t callParameter) {
  ExternCallRecord record;
  std::memset(&record, 0, sizeof(record));
  record.selector = selector;
  record.callParameter = callParameter;
  return record;
}

}  // namespace xplug::test
