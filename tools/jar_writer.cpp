#include "jar_writer.h"

#include <unzip.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
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

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool startsWithMetaInf(const std::string& name) {
  return upper(name.substr(0, 9)) == "META-INF/";
}

// A jar signature (META-INF/*.SF, *.RSA, *.DSA, *.EC, SIG-*) signs the library's own jar; in the
// plug-in jar it would no longer match, and Java refuses classes whose signature does not match.
bool isSignatureFile(const std::string& name) {
  if (!startsWithMetaInf(name) || name.find('/', 9) != std::string::npos) return false;
  const std::string file = upper(name.substr(9));
  const size_t dot = file.rfind('.');
  const std::string extension = dot == std::string::npos ? "" : file.substr(dot);
  return extension == ".SF" || extension == ".RSA" || extension == ".DSA" || extension == ".EC" ||
         file.rfind("SIG-", 0) == 0;
}

// Entries that describe one library's own jar and mean nothing, or something wrong, in the merged one:
// its jar index and its module descriptors (the plug-in jar is read from the class path).
bool isLibraryOnlyEntry(const std::string& name) {
  if (upper(name) == "META-INF/INDEX.LIST") return true;
  const std::string file = name.substr(name.rfind('/') + 1);
  return file == "module-info.class" && (name == file || upper(name).rfind("META-INF/VERSIONS/", 0) == 0);
}

bool isServiceFile(const std::string& name) {
  return upper(name).rfind("META-INF/SERVICES/", 0) == 0 && name.size() > 18 &&
         name.find('/', 18) == std::string::npos;
}

// LICENSE, LICENCE, NOTICE or COPYING, with or without an extension, at the top or in META-INF.
bool isLicenceFile(const std::string& name) {
  const size_t slash = name.rfind('/');
  if (slash != std::string::npos && !(slash == 8 && startsWithMetaInf(name))) return false;
  const std::string file = upper(name.substr(slash == std::string::npos ? 0 : slash + 1));
  const std::string stem = file.substr(0, file.find('.'));
  return stem == "LICENSE" || stem == "LICENCE" || stem == "NOTICE" || stem == "COPYING";
}

// A provider line of a service file without its comment and surrounding blanks.
std::string providerOf(const std::string& line) {
  std::string text = line.substr(0, line.find('#'));
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Collects the jar's entries in the order they come, then writes them. A name given twice is kept
// once when both copies are the same; service files of several sources are merged; two different
// copies of any other entry are refused with both sources named, since one would silently replace
// the other.
class EntryCollector {
 public:
  std::string add(const std::string& name, const std::string& data, const std::string& source) {
    const auto found = index_.find(name);
    if (found == index_.end()) {
      index_.emplace(name, entries_.size());
      entries_.push_back({name, data, source, {}});
      if (isServiceFile(name)) mergeProviders(entries_.back(), data);
      return {};
    }
    Entry& entry = entries_[found->second];
    if (isServiceFile(name)) {
      mergeProviders(entry, data);
      return {};
    }
    if (entry.data == data) return {};
    const bool isClass = name.size() > 6 && name.compare(name.size() - 6, 6, ".class") == 0;
    return std::string(isClass ? "two different classes " : "two different files ") + name + ": one in " +
           entry.source + ", one in " + source + "; leave one of them out";
  }

  // Licence and notice files of a library are kept beside those of every other library, in a folder
  // named after the library's jar.
  void addLicence(const std::string& name, const std::string& data, const std::string& library) {
    const std::string file = name.substr(name.rfind('/') + 1);
    std::string kept = "META-INF/licenses/" + library + "/" + file;
    for (int copy = 2; index_.count(kept) != 0; ++copy) {
      if (entries_[index_.at(kept)].data == data) return;
      kept = "META-INF/licenses/" + library + "/" + file + "." + std::to_string(copy);
    }
    index_.emplace(kept, entries_.size());
    entries_.push_back({kept, data, library, {}});
  }

  const std::string* find(const std::string& name) const {
    const auto found = index_.find(name);
    return found == index_.end() ? nullptr : &entries_[found->second].data;
  }

  std::string writeTo(ZipWriter& zip) {
    for (Entry& entry : entries_) {
      if (!entry.providers.empty()) {
        entry.data.clear();
        for (const std::string& provider : entry.providers) entry.data += provider + "\n";
      }
      if (!zip.addEntry(entry.name, entry.data)) return "cannot write entry " + entry.name;
    }
    return {};
  }

 private:
  struct Entry {
    std::string name;
    std::string data;
    std::string source;
    // For a service file: its providers, each once, in the order first seen.
    std::vector<std::string> providers;
  };

  static void mergeProviders(Entry& entry, const std::string& data) {
    size_t start = 0;
    while (start < data.size()) {
      size_t end = data.find('\n', start);
      if (end == std::string::npos) end = data.size();
      const std::string provider = providerOf(data.substr(start, end - start));
      if (!provider.empty() &&
          std::find(entry.providers.begin(), entry.providers.end(), provider) == entry.providers.end()) {
        entry.providers.push_back(provider);
      }
      start = end + 1;
    }
  }

  std::vector<Entry> entries_;
  std::map<std::string, size_t, CaseInsensitiveLess> index_;
};

// The name a library's licence files are kept under: its jar's file name without ".jar".
std::string libraryName(const std::string& jarPath) {
  return std::filesystem::path(jarPath).stem().string();
}

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

std::string mergeJar(EntryCollector& entries, const std::string& jarPath) {
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
    if (name.empty() || name.back() == '/' || isManifestName(name) || isSignatureFile(name) ||
        isLibraryOnlyEntry(name)) {
      continue;
    }
    std::string data;
    if (std::string error = readEntryData(jar.get(), name, jarPath, &data); !error.empty()) return error;
    if (isLicenceFile(name)) {
      entries.addLicence(name, data, libraryName(jarPath));
      continue;
    }
    if (std::string error = entries.add(name, data, jarPath); !error.empty()) return error;
  }
  return {};
}

std::string addDirectory(EntryCollector& entries, const std::string& directory) {
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

// The plug-in id is written twice, at the start of plugin-options and as pluginId()'s result. A class
// that returns it as a literal or a constant holds it in its constant pool; when the plug-in class is
// in the jar and does not, the two most likely differ (or the id comes from elsewhere: only a warning).
std::vector<std::string> checkPluginId(const EntryCollector& entries,
                                       const std::vector<ManifestEntry>& manifest) {
  std::string options;
  std::string className;
  for (const ManifestEntry& entry : manifest) {
    if (entry.key == "plugin-options") options = entry.value;
    if (entry.key == "pluginClassName") className = entry.value;
  }
  if (options.size() < 4 || className.empty()) return {};
  std::string classEntry = className;
  std::replace(classEntry.begin(), classEntry.end(), '.', '/');
  const std::string* classFile = entries.find(classEntry + ".class");
  if (classFile == nullptr) {
    return {"the plug-in class " + className +
            " (pluginClassName) is not in the jar; check its name and --dir"};
  }
  const std::optional<std::vector<std::string>> texts = classFileTexts(*classFile);
  const std::string id = options.substr(0, 4);
  if (texts && std::find(texts->begin(), texts->end(), id) == texts->end()) {
    return {"the plug-in class " + className + " holds no text \"" + id +
            "\", the id plugin-options starts with; "
            "pluginId() must return the same id, or the plug-in stays disabled"};
  }
  return {};
}

std::string writeEntries(ZipWriter& zip, const JarContents& contents, std::vector<std::string>* warnings) {
  EntryCollector entries;
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
  *warnings = checkPluginId(entries, contents.manifest);
  if (std::string error = entries.writeTo(zip); !error.empty()) return error;
  return zip.finish() ? std::string() : std::string("cannot finish the zip archive");
}

}  // namespace

std::optional<std::vector<std::string>> classFileTexts(const std::string& classFile) {
  size_t at = 0;
  const auto read = [&](size_t bytes) -> std::optional<uint32_t> {
    if (at > classFile.size() || classFile.size() - at < bytes) return std::nullopt;
    uint32_t value = 0;
    for (size_t i = 0; i < bytes; ++i) value = (value << 8) | static_cast<unsigned char>(classFile[at + i]);
    at += bytes;
    return value;
  };
  if (read(4) != 0xCAFEBABEu || !read(4)) return std::nullopt;
  const std::optional<uint32_t> count = read(2);
  if (!count) return std::nullopt;
  std::vector<std::string> texts;
  for (uint32_t index = 1; index < *count; ++index) {
    const std::optional<uint32_t> tag = read(1);
    if (!tag) return std::nullopt;
    size_t skip = 0;
    switch (*tag) {
      case 1: {  // Utf8: a length and the text's modified UTF-8 bytes
        const std::optional<uint32_t> length = read(2);
        if (!length || classFile.size() - at < *length) return std::nullopt;
        texts.push_back(classFile.substr(at, *length));
        at += *length;
        continue;
      }
      case 5:  // Long and Double take two slots of the pool
      case 6:
        skip = 8;
        ++index;
        break;
      case 3:
      case 4:
      case 9:
      case 10:
      case 11:
      case 12:
      case 17:
      case 18:
        skip = 4;
        break;
      case 15:
        skip = 3;
        break;
      case 7:
      case 8:
      case 16:
      case 19:
      case 20:
        skip = 2;
        break;
      default:
        return std::nullopt;
    }
    if (!read(skip)) return std::nullopt;
  }
  return texts;
}

std::string checkPluginOptions(const std::string& options) {
  const std::string shape =
      " must be 9 characters: the 4-character plug-in id, '1', 'Y' or 'n' for preferences, 'n', 'Y' or 'n' "
      "for idle time and 'n' (for example ABCD1nnYn)";
  if (options.size() != 9) {
    return "plugin-options \"" + options + "\" is " + std::to_string(options.size()) +
           " characters long; it" + shape;
  }
  for (size_t i = 0; i < 4; ++i) {
    const unsigned char c = static_cast<unsigned char>(options[i]);
    if (c <= ' ' || c >= 0x7f) {
      return "plugin-options \"" + options +
             "\" starts with a plug-in id of other than 4 visible ASCII characters; it" + shape;
    }
  }
  const auto isFlag = [](char c) { return c == 'Y' || c == 'n'; };
  if (options[4] != '1' || !isFlag(options[5]) || !isFlag(options[6]) || !isFlag(options[7]) ||
      !isFlag(options[8])) {
    return "plugin-options \"" + options +
           "\" has a character other than '1' in place 5 or other than 'Y' or 'n' in "
           "places 6 to 9; it" +
           shape;
  }
  return {};
}

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
  for (const ManifestEntry& entry : manifest) {
    if (entry.key != "plugin-options") continue;
    if (std::string error = checkPluginOptions(entry.value); !error.empty()) return error;
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
  if (std::string error = checkManifest(contents.manifest); !error.empty()) return JarOutcome{false, error, {}};
  // Written beside the output and renamed at the end, so a failed run leaves no half-written jar.
  const std::string partialPath = outputPath + ".partial";
  std::string error;
  std::vector<std::string> warnings;
  {
    ZipWriter zip(partialPath);
    error = zip.isOpen() ? writeEntries(zip, contents, &warnings) : "cannot create " + partialPath;
  }
  std::error_code fsError;
  if (error.empty()) {
    std::filesystem::rename(partialPath, outputPath, fsError);
    if (fsError) error = "cannot rename " + partialPath + " to " + outputPath + ": " + fsError.message();
  }
  if (!error.empty()) {
    std::filesystem::remove(partialPath, fsError);
    return JarOutcome{false, error, {}};
  }
  return JarOutcome{true, {}, warnings};
}

}  // namespace xplug::tools
