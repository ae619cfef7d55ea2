#include "pack_module.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

namespace xplug::tools {
namespace {

constexpr char kZipLocalHeaderSignature[] = {'P', 'K', 3, 4};

std::string describeErrno() {
  return std::strerror(errno);
}

// Copies the rest of `input` to `output`; false on a read or write error.
bool copyStream(std::ifstream& input, std::ofstream& output) {
  std::vector<char> block(64 * 1024);
  while (input) {
    input.read(block.data(), static_cast<std::streamsize>(block.size()));
    const std::streamsize got = input.gcount();
    if (got > 0 && !output.write(block.data(), got)) return false;
  }
  return input.eof() && output.good();
}

// Debug images leave tens of megabytes of padding, so it is written in blocks.
bool writeZeros(std::ofstream& output, uint64_t count) {
  static const std::vector<char> zeros(64 * 1024, '\0');
  while (count > 0) {
    const uint64_t chunk = count < zeros.size() ? count : zeros.size();
    if (!output.write(zeros.data(), static_cast<std::streamsize>(chunk))) return false;
    count -= chunk;
  }
  return true;
}

PackOutcome failure(std::string message) {
  return PackOutcome{false, std::move(message)};
}

}  // namespace

bool parseOffset(const std::string& text, uint64_t* offset) {
  if (text.empty() || text[0] == '-' || text[0] == '+') return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
  if (errno != 0 || end == text.c_str() || *end != '\0') return false;
  *offset = value;
  return true;
}

PackOutcome packModule(const std::string& imagePath, const std::string& jarPath,
                       const std::string& outputPath, uint64_t offset) {
  std::error_code sizeError;
  const uint64_t imageSize = std::filesystem::file_size(imagePath, sizeError);
  if (sizeError) return failure("cannot read module image " + imagePath + ": " + sizeError.message());
  if (imageSize > offset) {
    return failure("module image " + imagePath + " is " + std::to_string(imageSize) +
                   " bytes, larger than the attached-jar offset of " + std::to_string(offset) +
                   " bytes; build with a larger XPLUG_ATTACHED_JAR_OFFSET");
  }

  std::ifstream image(imagePath, std::ios::binary);
  if (!image) return failure("cannot open module image " + imagePath + ": " + describeErrno());
  std::ifstream jar(jarPath, std::ios::binary);
  if (!jar) return failure("cannot open jar " + jarPath + ": " + describeErrno());
  char signature[sizeof kZipLocalHeaderSignature] = {};
  jar.read(signature, sizeof signature);
  if (jar.gcount() != sizeof signature ||
      std::memcmp(signature, kZipLocalHeaderSignature, sizeof signature) != 0) {
    return failure("jar " + jarPath + " is not a zip archive");
  }
  jar.seekg(0);

  // Written beside the output and renamed at the end, so a failed run never leaves a half-packed
  // module where FileMaker would load it.
  const std::string partialPath = outputPath + ".partial";
  PackOutcome outcome{true, {}};
  {
    std::ofstream output(partialPath, std::ios::binary | std::ios::trunc);
    if (!output) return failure("cannot create " + partialPath + ": " + describeErrno());
    if (!copyStream(image, output)) {
      outcome = failure("cannot copy module image " + imagePath + " to " + partialPath);
    } else {
      if (!writeZeros(output, offset - imageSize)) {
        outcome = failure("cannot write padding to " + partialPath);
      } else if (!copyStream(jar, output)) {
        outcome = failure("cannot copy jar " + jarPath + " to " + partialPath);
      }
    }
    output.close();
    if (outcome.ok && !output) outcome = failure("cannot finish writing " + partialPath);
  }
  std::error_code fsError;
  if (outcome.ok) {
    std::filesystem::rename(partialPath, outputPath, fsError);
    if (fsError)
      outcome = failure("cannot rename " + partialPath + " to " + outputPath + ": " + fsError.message());
  }
  if (!outcome.ok) std::filesystem::remove(partialPath, fsError);
  return outcome;
}

}  // namespace xplug::tools
