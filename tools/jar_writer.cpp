#include "jar_writer.h"

#include <unzip.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <system_error>

namespace xplug::tools {
namespace {

constexpr char kManifestEntryName[] = "META-INF/MANIFEST.MF";
// The module's manifest reader holds a name of 63 bytes, a value of 259 bytes and 8,192 bytes of text;
// anything longer would reach it cut short.
constexpr size_t kMaxKeyBytes = 63;
constexpr size_t kMaxValueBytes = 259;
constexpr size_t kMaxManifestBytes = 8192;

struct CaseInsensitiveLess {
  bool operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
      return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
  }
};

bool isManifestName(const std::string& name) {
  return !CaseInsensitiveLess{}(name, kManifestEntryName) && !CaseInsensitiveLess{}(kManifestEntryName, name);
}

bool isKeyCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

// Closes the zip being written; `finished` tells whether it is complete.
class ZipWriter {
 public:
  explicit ZipWriter(const std::string& path) : zip_(zipOpen(path.c_str(), APPEND_STATUS_CREATE)) {}
  ZipWriter(const ZipWriter&) = delete;
  ZipWriter& operator=(const ZipWriter&) = delete;
  ~ZipWriter() {
    if (zip_ != nullptr) zipClose(zip_, nullptr);
  }
  bool isOpen() const { return zip_ != nullptr; }

  // Adds one deflated entry with a fixed date, so that the same inputs always give the same jar.
  bool addEntry(const std::string& name, const std::string& data) {
    zip_fileinfo info{};
    info.tmz_date.tm_year = 2000;
    info.tmz_date.tm_mday = 1;
    if (zipOpenNewFileInZip(zip_, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                            Z_BEST_COMPRESSION) != ZIP_OK) {
      return false;
    }
    const bool written =
        data.empty() || zipWriteInFileInZip(zip_, data.data(), static_cast<unsigned>(data.size())) == ZIP_OK;
    return zipCloseFileInZip(zip_) == ZIP_OK && written;
  }

  bool finish() {
    const int status = zipClose(zip_, nullptr);
    zip_ = nullptr;
    return status == ZIP_OK;
  }

 private:
  zipFile zip_;
};

class ZipReader {
 public:
  explicit ZipReader(const std::string& path) : zip_(unzOpen(path.c_str())) {}
  ZipReader(const ZipReader&) = delete;
  ZipReader& operator=(const ZipReader&) = delete;
  ~ZipReader() {
    if (zip_ != nullptr) unzClose(zip_);
  }
  unzFile get() const { return zip_; }

 private:
  unzFile zip_;
};

// Collects entries and refuses a name that is already there; the manifest is always the first.
class EntryWriter {
 public:
  explicit EntryWriter(ZipWriter& zip) : zip_(zip) {}

  std::string add(const std::string& name, const std::string& data, const std::string& source) {
    if (!names_.insert(name).second) return "duplicate entry " + name + " (from " + source + ")";
    if (!zip_.addEntry(name, data)) return "cannot write entry " + name;
    return {};
  }

 private:
  ZipWriter& zip_;
  std::set<std::string, CaseInsensitiveLess> names_;
};

std::string readEntryData(unzFile zip, const std::string& name, const std::string& jarPath,
                          std::string* data) {
  if (unzOpenCurrentFile(zip) != UNZ_OK) return "cannot open entry " + name + " of " + jarPath;
  data->clear();
  char block[16384];
  int got = 0;
  while ((got = unzReadCurrentFile(zip, block, sizeof block)) > 0)
    data->append(block, static_cast<size_t>(got));
  // Closing checks the CRC of an entry read to its end.
  const int closed = unzCloseCurrentFile(zip);
  if (got < 0 || closed != UNZ_OK) return "damaged entry " + name + " in " + jarPath;
  return {};
}

std::string mergeJar(EntryWriter& entries, const std::string& jarPath) {
  ZipReader jar(jarPath);
  if (jar.get() == nullptr) return "cannot open jar " + jarPath + " as a zip archive";
  for (int status = unzGoToFirstFile(jar.get()); status != UNZ_END_OF_LIST_OF_FILE;
       status = unzGoToNextFile(jar.get())) {
    if (status != UNZ_OK) return "cannot read the entries of " + jarPath;
    unz_file_info info{};
    std::string name(65536, '\0');
    if (unzGetCurrentFileInfo(jar.get(), &info, name.data(), static_cast<uLong>(name.size()), nullptr, 0,
                              nullptr, 0) != UNZ_OK) {
      return "cannot read the entries of " + jarPath;
    }
    name.resize(info.size_filename);
    if (name.empty() || name.back() == '/' || isManifestName(name)) continue;
    std::string data;
    if (std::string error = readEntryData(jar.get(), name, jarPath, &data); !error.empty()) return error;
    if (std::string error = entries.add(name, data, jarPath); !error.empty()) return error;
  }
  return {};
}

std::string addDirectory(EntryWriter& entries, const std::string& directory) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (!fs::is_directory(directory, error)) return "class folder " + directory + " is not a folder";
  std::vector<fs::path> files;
  for (fs::recursive_directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
    if (it->is_regular_file()) files.push_back(it->path());
  }
  if (error) return "cannot list class folder " + directory + ": " + error.message();
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) {
    const std::string name = file.lexically_relative(directory).generic_string();
    if (isManifestName(name)) continue;
    std::ifstream input(file, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(input)), std::istreambuf_iterator<char>());
    if (!input && !input.eof()) return "cannot read " + file.string();
    if (std::string failure = entries.add(name, data, directory); !failure.empty()) return failure;
  }
  return {};
}

std::string writeEntries(ZipWriter& zip, const JarContents& contents) {
  EntryWriter entries(zip);
  if (std::string error = entries.add(kManifestEntryName, formatManifest(contents.manifest), "the manifest");
      !error.empty()) {
    return error;
  }
  for (const std::string& directory : contents.classDirectories) {
    if (std::string error = addDirectory(entries, directory); !error.empty()) return error;
  }
  for (const std::string& jar : contents.mergedJars) {
    if (std::string error = mergeJar(entries, jar); !error.empty()) return error;
  }
  return zip.finish() ? std::string() : std::string("cannot finish the zip archive");
}

}  // namespace

std::string checkManifest(const std::vector<ManifestEntry>& manifest) {
  std::set<std::string> keys;
  for (const ManifestEntry& entry : manifest) {
    if (entry.key.empty() || entry.key.size() > kMaxKeyBytes ||
        !std::all_of(entry.key.begin(), entry.key.end(), isKeyCharacter)) {
      return "manifest key \"" + entry.key + "\" must be 1 to 63 letters, digits, '-' or '_'";
    }
    if (!keys.insert(entry.key).second) return "manifest key " + entry.key + " is given twice";
    if (entry.value.size() > kMaxValueBytes) {
      return "value of manifest key " + entry.key + " is " + std::to_string(entry.value.size()) +
             " bytes; the module reads at most 259";
    }
    if (entry.value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
      return "value of manifest key " + entry.key + " holds a line break or a zero byte";
    }
    if (!entry.value.empty() && entry.value.front() == ' ') {
      return "value of manifest key " + entry.key + " starts with a space, which readers drop";
    }
  }
  if (formatManifest(manifest).size() > kMaxManifestBytes) return "the manifest is longer than 8192 bytes";
  return {};
}

std::string formatManifest(const std::vector<ManifestEntry>& manifest) {
  std::string text;
  for (const ManifestEntry& entry : manifest) text += entry.key + ": " + entry.value + "\r\n";
  text += "\r\n";
  return text;
}

JarOutcome writeJar(const std::string& outputPath, const JarContents& contents) {
  if (std::string error = checkManifest(contents.manifest); !error.empty()) return JarOutcome{false, error};
  // Written beside the output and renamed at the end, so a failed run leaves no half-written jar.
  const std::string partialPath = outputPath + ".partial";
  std::string error;
  {
    ZipWriter zip(partialPath);
    error = zip.isOpen() ? writeEntries(zip, contents) : "cannot create " + partialPath;
  }
  std::error_code fsError;
  if (error.empty()) {
    std::filesystem::rename(partialPath, outputPath, fsError);
    if (fsError) error = "cannot rename " + partialPath + " to " + outputPath + ": " + fsError.message();
  }
  if (!error.empty()) {
    std::filesystem::remove(partialPath, fsError);
    return JarOutcome{false, error};
  }
  return JarOutcome{true, {}};
}

}  // namespace xplug::tools
