// Reading a registry string value the one way the module reads them, on top of the backend's
// queryRegistryValue; the same on every platform.
#include <vector>

#include "platform/platform.h"

namespace xplug::platform {

RegistryString readRegistryString(const RegistryKey& key, std::u16string_view name, uint32_t capacity) {
  RegistryString result;
  std::vector<char16_t> buffer(capacity);
  uint32_t type = kRegNone;
  uint32_t byteSize = capacity * static_cast<uint32_t>(sizeof(char16_t));
  result.status = queryRegistryValue(key, name, &type, buffer.data(), &byteSize);
  if (result.status != kErrorSuccess) return result;
  if (type != kRegSz && type != kRegExpandSz) {
    result.status = kErrorInvalidData;
    return result;
  }
  if (byteSize == 0) {
    result.length = 0;
    return result;
  }
  uint32_t units = byteSize / sizeof(char16_t);
  if (byteSize % sizeof(char16_t) != 0 || buffer[units - 1] != 0) {
    result.status = kErrorInvalidData;
    return result;
  }
  result.length = units;
  result.text.assign(buffer.data(), units - 1);
  result.text.resize(result.text.find(u'\0') == std::u16string::npos ? result.text.size()
                                                                     : result.text.find(u'\0'));
  return result;
}

}  // namespace xplug::platform
