// Reading a whole file by its wide path, for the Windows tests; any thread.
#ifndef XPLUG_TESTS_WINDOWS_READ_WIDE_FILE_H
#define XPLUG_TESTS_WINDOWS_READ_WIDE_FILE_H

#include <cstdio>
#include <memory>
#include <string>

// The file's bytes, or empty when it cannot be opened.
inline std::string readAll(const std::wstring& path) {
  struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  std::unique_ptr<std::FILE, Closer> file(_wfopen(path.c_str(), L"rb"));
  if (!file) return {};
  std::string content;
  char buffer[4096];
  size_t read;
  while ((read = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) content.append(buffer, read);
  return content;
}

#endif  // XPLUG_TESTS_WINDOWS_READ_WIDE_FILE_H
