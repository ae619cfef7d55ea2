#include "archive/plugin_manifest.h"

#include <unzip.h>

#include <cstring>

#include "log/plugin_log.h"

namespace xplug {
namespace {

constexpr char kManifestEntryName[] = "META-INF/MANIFEST.MF";
// minizip's value for comparing entry names without regard to letter case.
constexpr int kCaseInsensitive = 2;
constexpr unsigned kManifestReadLimit = 8192;
constexpr size_t kEntryNameCapacity = 256;

// The line reader's place in the text; set by parseManifest for the length of one parse.
const char* manifestReadPosition = nullptr;

enum class ReadState { inName, inValue, afterLine };

// Owns the archive handle so that it is closed on every path; the reading closes it explicitly at its
// end, where an archive that never opened is logged.
class UnzipArchive {
 public:
  explicit UnzipArchive(const char* path) : handle_(path != nullptr ? unzOpen(path) : nullptr) {}
  UnzipArchive(const UnzipArchive&) = delete;
  UnzipArchive& operator=(const UnzipArchive&) = delete;
  ~UnzipArchive() { close(); }
  unzFile get() const { return handle_; }
  void close() {
    if (handle_ != nullptr) unzClose(handle_);
    handle_ = nullptr;
  }

 private:
  unzFile handle_;
};

void fileManifestValue(PluginMetadata& metadata, const char* name, const char* value) {
  if (std::strcmp(name, "plugin-name") == 0) {
    metadata.name = value;
  } else if (std::strcmp(name, "plugin-options") == 0) {
    metadata.options = value;
  } else if (std::strcmp(name, "plugin-help") == 0) {
    metadata.help = value;
  } else if (std::strcmp(name, "plugin-version") == 0) {
    metadata.version = value;
  } else if (std::strcmp(name, "Manifest-Version") != 0 && std::strcmp(name, "pluginClassName") != 0) {
    logMessage("Unrecognized manifest key: %s\n", name);
  }
}

}  // namespace

void readManifestText(const char* archivePath, char (&text)[kManifestTextCapacity]) {
  UnzipArchive archive(archivePath);
  unzFile zip = archive.get();
  // Every step runs even after a failed one: minizip refuses a missing handle or entry with an error
  // code, and each step's failure has its own log line.
  if (zip == nullptr || unzLocateFile(zip, kManifestEntryName, kCaseInsensitive) != UNZ_OK) {
    logMessage("Could not locate manifest entry: %s\n", kManifestEntryName);
  }
  unz_file_info info{};
  char entryName[kEntryNameCapacity];
  if (unzGetCurrentFileInfo(zip, &info, entryName, sizeof entryName, nullptr, 0, nullptr, 0) != UNZ_OK) {
    logMessage("Could not get info for manifest entry: %s\n", kManifestEntryName);
  }
  const bool entryOpen = unzOpenCurrentFile(zip) == UNZ_OK;
  if (!entryOpen) logMessage("Could not open manifest entry: %s\n", kManifestEntryName);
  const int got = unzReadCurrentFile(zip, text, kManifestReadLimit);
  if (entryOpen && got < 0) logMessage("Could not read manifest entry: %s\n", kManifestEntryName);
  text[got > 0 ? got : 0] = '\0';
  const int closed = unzCloseCurrentFile(zip);
  if (closed != UNZ_OK) {
    logMessage("Could not close manifest entry: %s\n", kManifestEntryName);
    // The bytes read do not match the entry's checksum: they are damaged and must not name the plug-in.
    if (closed == UNZ_CRCERROR) text[0] = '\0';
  }
  if (zip != nullptr) {
    archive.close();
  } else {
    logMessage("Could not close zip file: %s\n", archivePath != nullptr ? archivePath : "(null)");
  }
}

bool nextManifestPair(const char* text, char (&name)[kManifestNameCapacity],
                      char (&value)[kManifestValueCapacity]) {
  if (manifestReadPosition == nullptr) manifestReadPosition = text;
  const char*& position = manifestReadPosition;
  ReadState state = ReadState::inName;
  // Bytes stored so far in the name or value being read; bytes past a buffer's end are dropped but
  // still counted, so that a cut value is not taken for an empty one.
  size_t count = 0;
  name[0] = '\0';
  value[0] = '\0';
  while (*position != '\0') {
    const char c = *position++;
    if (state == ReadState::inName && c == ':') {
      name[count < kManifestNameCapacity ? count : kManifestNameCapacity - 1] = '\0';
      state = ReadState::inValue;
      count = 0;
    } else if (c == '\r' || (c == ' ' && count == 0)) {
      // Carriage returns vanish and leading spaces of a name or a value are skipped.
    } else if (state == ReadState::inName) {
      if (c == '\n') {
        // A line without ':' names nothing; it is skipped and the next line starts afresh.
        count = 0;
      } else {
        if (count < kManifestNameCapacity - 1) name[count] = c;
        ++count;
      }
    } else if (state == ReadState::inValue) {
      if (c == '\n') {
        state = ReadState::afterLine;
      } else {
        if (count < kManifestValueCapacity - 1) {
          value[count] = c;
          value[count + 1] = '\0';
        }
        ++count;
      }
    } else if (c == '\n') {
      // Blank lines between a header and its continuation are allowed.
    } else if (c == ' ') {
      state = ReadState::inValue;
    } else {
      --position;
      return true;
    }
  }
  return state == ReadState::afterLine;
}

PluginMetadata parseManifest(const char* text) {
  PluginMetadata metadata;
  char name[kManifestNameCapacity];
  char value[kManifestValueCapacity];
  manifestReadPosition = text;
  while (nextManifestPair(text, name, value)) fileManifestValue(metadata, name, value);
  manifestReadPosition = nullptr;
  return metadata;
}

PluginMetadata readPluginMetadata(const char* archivePath) {
  char text[kManifestTextCapacity];
  readManifestText(archivePath, text);
  return parseManifest(text);
}

}  // namespace xplug
