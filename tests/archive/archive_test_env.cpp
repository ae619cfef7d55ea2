#include "archive_test_env.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <zip.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "testsupport/desktop_folder.h"

namespace xplug::test {

std::string makeTestFolder() {
  return xplug::testing::makeDesktopTestFolder("archive-");
}

bool writeZip(const std::string& path, const std::vector<ZipEntry>& entries) {
  zipFile zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
  if (zip == nullptr) return false;
  bool ok = true;
  for (const ZipEntry& entry : entries) {
    zip_fileinfo info{};
    ok = ok && zipOpenNewFileInZip(zip, entry.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                   entry.method, Z_DEFAULT_COMPRESSION) == ZIP_OK;
    ok = ok &&
         (entry.data.empty() ||
          zipWriteInFileInZip(zip, entry.data.data(), static_cast<unsigned>(entry.data.size())) == ZIP_OK);
    ok = ok && zipCloseFileInZip(zip) == ZIP_OK;
  }
  return zipClose(zip, nullptr) == ZIP_OK && ok;
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream output(path, std::ios::binary | std::ios::trunc);
  output.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void startLogCapture() {
  ::testing::internal::CaptureStdout();
}

std::vector<std::string> stopLogCapture() {
  std::istringstream captured(::testing::internal::GetCapturedStdout());
  std::vector<std::string> messages;
  // Each message starts with "(C++ " and the 24-character timestamp, then ") ".
  const std::string prefix = "(C++ ";
  const size_t textStart = prefix.size() + 24 + 2;
  for (std::string line; std::getline(captured, line);) {
    if (line.compare(0, prefix.size(), prefix) == 0 && line.size() >= textStart) {
      messages.push_back(line.substr(textStart));
    } else {
      messages.push_back(line);
    }
  }
  return messages;
}

uintptr_t loadModuleFileAt(const std::string& path) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::filesystem::copy_file(XPLUG_ARCHIVE_TEST_LIBRARY, path,
                             std::filesystem::copy_options::overwrite_existing);
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  EXPECT_NE(handle, nullptr) << dlerror();
  return reinterpret_cast<uintptr_t>(handle);
}

}  // namespace xplug::test
