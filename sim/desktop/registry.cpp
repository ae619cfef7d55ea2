// The registry store and its Windows-style read API. Keys live in one ordered map keyed by their folded
// full path ("hklm\\software\\javasoft"), so a key's subkeys are the entries that follow it with its
// path and a backslash as prefix.
#include "simdesktop/registry.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "registry_store.h"

namespace simdesktop {
namespace {

struct RegistryKeyData {
  std::u16string displayPath;
  std::map<std::u16string, StoredValue> values;  // by folded name
};

// An open handle names its key by folded path; the key may be deleted while the handle stays open.
struct OpenKey {
  std::u16string path;
};

struct Registry {
  std::mutex mutex;
  std::map<std::u16string, RegistryKeyData> keys;
  std::set<OpenKey*> handles;
};

Registry& registry() {
  // Never destroyed: the module may close keys from static destructors that run after ours would.
  static Registry* instance = new Registry;
  return *instance;
}

std::u16string rootPrefix(RegistryRoot root) {
  return root == RegistryRoot::localMachine ? u"hklm" : u"hkcu";
}

std::u16string rootDisplayName(RegistryRoot root) {
  return root == RegistryRoot::localMachine ? u"HKEY_LOCAL_MACHINE" : u"HKEY_CURRENT_USER";
}

// Appends the components of a relative path to a folded path and a display path.
void appendComponents(std::u16string_view relative, std::u16string& folded, std::u16string* display) {
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = relative.find(u'\\', start);
    if (end == std::u16string_view::npos) end = relative.size();
    if (end > start) {
      std::u16string_view component = relative.substr(start, end - start);
      folded += u'\\';
      folded += foldRegistryName(component);
      if (display) {
        *display += u'\\';
        *display += component;
      }
    }
    start = end + 1;
  }
}

RegistryKeyData& createKeyLocked(Registry& reg, RegistryRoot root, std::u16string_view keyPath) {
  std::u16string folded = rootPrefix(root);
  std::u16string display = rootDisplayName(root);
  RegistryKeyData* key = nullptr;
  size_t start = 0;
  // Create every parent on the way, as RegCreateKeyEx does.
  while (true) {
    key = &reg.keys.try_emplace(folded, RegistryKeyData{display, {}}).first->second;
    if (start > keyPath.size()) break;
    size_t end = keyPath.find(u'\\', start);
    if (end == std::u16string_view::npos) end = keyPath.size();
    if (end > start) {
      std::u16string_view component = keyPath.substr(start, end - start);
      folded += u'\\';
      folded += foldRegistryName(component);
      display += u'\\';
      display += component;
    }
    start = end + 1;
  }
  return *key;
}

bool isRootPath(const std::u16string& folded) {
  return folded == u"hklm" || folded == u"hkcu";
}

bool keyExistsLocked(const Registry& reg, const std::u16string& folded) {
  return isRootPath(folded) || reg.keys.count(folded) != 0;
}

void storeLocked(Registry& reg, RegistryRoot root, std::u16string_view keyPath, std::u16string_view name,
                 uint32_t type, std::vector<uint8_t> bytes) {
  RegistryKeyData& key = createKeyLocked(reg, root, keyPath);
  key.values[foldRegistryName(name)] = StoredValue{std::u16string(name), type, std::move(bytes)};
}

bool deleteKeyLocked(Registry& reg, const std::u16string& folded) {
  if (isRootPath(folded)) {
    // A root cannot go; deleting it empties it.
    bool any = false;
    for (auto it = reg.keys.lower_bound(folded); it != reg.keys.end();) {
      if (it->first != folded && it->first.compare(0, folded.size() + 1, folded + u'\\') != 0) break;
      any = true;
      if (it->first == folded) {
        it->second.values.clear();
        ++it;
      } else {
        it = reg.keys.erase(it);
      }
    }
    return any;
  }
  auto it = reg.keys.find(folded);
  if (it == reg.keys.end()) return false;
  std::u16string prefix = folded + u'\\';
  it = reg.keys.erase(it);
  while (it != reg.keys.end() && it->first.compare(0, prefix.size(), prefix) == 0) it = reg.keys.erase(it);
  return true;
}

std::vector<uint8_t> utf16Bytes(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  bytes.reserve((text.size() + 1) * 2);
  for (char16_t unit : text) {
    bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

OpenKey* findHandleLocked(Registry& reg, RegistryHandle handle) {
  auto* key = static_cast<OpenKey*>(handle);
  return reg.handles.count(key) ? key : nullptr;
}

long openLocked(Registry& reg, std::u16string folded, std::u16string_view keyPath, RegistryHandle* result) {
  appendComponents(keyPath, folded, nullptr);
  if (!keyExistsLocked(reg, folded)) return kErrorFileNotFound;
  auto key = std::make_unique<OpenKey>(OpenKey{std::move(folded)});
  reg.handles.insert(key.get());
  *result = key.release();
  return kErrorSuccess;
}

}  // namespace

std::u16string foldRegistryName(std::u16string_view name) {
  std::u16string folded(name);
  for (char16_t& unit : folded) {
    if ((unit >= u'A' && unit <= u'Z') || (unit >= 0xC0 && unit <= 0xDE && unit != 0xD7)) unit += 0x20;
  }
  return folded;
}

std::vector<uint8_t> registryStringBytes(std::u16string_view text) {
  return utf16Bytes(text);
}

void applyRegistryOperations(const std::vector<RegistryOperation>& operations) {
  Registry& reg = registry();
  std::lock_guard lock(reg.mutex);
  for (const RegistryOperation& op : operations) {
    switch (op.kind) {
      case RegistryOperation::Kind::createKey:
        createKeyLocked(reg, op.root, op.keyPath);
        break;
      case RegistryOperation::Kind::deleteKey: {
        std::u16string folded = rootPrefix(op.root);
        appendComponents(op.keyPath, folded, nullptr);
        deleteKeyLocked(reg, folded);
        break;
      }
      case RegistryOperation::Kind::setValue:
        storeLocked(reg, op.root, op.keyPath, op.name, op.value.type, op.value.bytes);
        break;
      case RegistryOperation::Kind::deleteValue: {
        std::u16string folded = rootPrefix(op.root);
        appendComponents(op.keyPath, folded, nullptr);
        auto it = reg.keys.find(folded);
        if (it != reg.keys.end()) it->second.values.erase(foldRegistryName(op.name));
        break;
      }
    }
  }
}

void setRegistryString(RegistryRoot root, std::u16string_view keyPath, std::u16string_view name,
                       std::u16string_view value) {
  setRegistryRawValue(root, keyPath, name, kRegSz, utf16Bytes(value));
}

void setRegistryExpandString(RegistryRoot root, std::u16string_view keyPath, std::u16string_view name,
                             std::u16string_view value) {
  setRegistryRawValue(root, keyPath, name, kRegExpandSz, utf16Bytes(value));
}

void setRegistryDword(RegistryRoot root, std::u16string_view keyPath, std::u16string_view name,
                      uint32_t value) {
  std::vector<uint8_t> bytes{static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                             static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  setRegistryRawValue(root, keyPath, name, kRegDword, bytes);
}

void setRegistryBinary(RegistryRoot root, std::u16string_view keyPath, std::u16string_view name,
                       const std::vector<uint8_t>& bytes) {
  setRegistryRawValue(root, keyPath, name, kRegBinary, bytes);
}

void setRegistryRawValue(RegistryRoot root, std::u16string_view keyPath, std::u16string_view name,
                         uint32_t type, const std::vector<uint8_t>& bytes) {
  Registry& reg = registry();
  std::lock_guard lock(reg.mutex);
  storeLocked(reg, root, keyPath, name, type, bytes);
}

void createRegistryKey(RegistryRoot root, std::u16string_view keyPath) {
  Registry& reg = registry();
  std::lock_guard lock(reg.mutex);
  createKeyLocked(reg, root, keyPath);
}

bool deleteRegistryValue(RegistryRoot root, std::u16string_view keyPath, std::u16string_view name) {
  Registry& reg = registry();
  std::lock_guard lock(reg.mutex);
  std::u16string folded = rootPrefix(root);
  appendComponents(keyPath, folded, nullptr);
  auto it = reg.keys.find(folded);
  return it != reg.keys.end() && it->second.values.erase(foldRegistryName(name)) != 0;
}

bool deleteRegistryKey(RegistryRoot root, std::u16string_view keyPath) {
  Registry& reg = registry();
  std::lock_guard lock(reg.mutex);
  std::u16string folded = rootPrefix(root);
  appendComponents(keyPath, folded, nullptr);
  return deleteKeyLocked(reg, folded);
}

void clearRegistry() {
  Registry& reg = registry();
  std::lock_guard lock(reg.mutex);
  reg.keys.clear();
}

long openRegistryKey(RegistryRoot root, std::u16string_view keyPath, RegistryHandle* result) {
  try {
    if (!result) return kErrorInvalidParameter;
    Registry& reg = registry();
    std::lock_guard lock(reg.mutex);
    return openLocked(reg, rootPrefix(root), keyPath, result);
  } catch (...) {
    // The module side never throws, as the Windows calls it stands for do not.
    return kErrorNotEnoughMemory;
  }
}

long openRegistrySubKey(RegistryHandle parent, std::u16string_view keyPath, RegistryHandle* result) {
  try {
    if (!result) return kErrorInvalidParameter;
    Registry& reg = registry();
    std::lock_guard lock(reg.mutex);
    OpenKey* key = findHandleLocked(reg, parent);
    if (!key) return kErrorInvalidHandle;
    if (!keyExistsLocked(reg, key->path)) return kErrorKeyDeleted;
    return openLocked(reg, key->path, keyPath, result);
  } catch (...) {
    return kErrorNotEnoughMemory;
  }
}

long queryRegistryValue(RegistryHandle handle, std::u16string_view name, uint32_t* type, void* data,
                        uint32_t* byteSize) {
  try {
    Registry& reg = registry();
    std::lock_guard lock(reg.mutex);
    OpenKey* key = findHandleLocked(reg, handle);
    if (!key) return kErrorInvalidHandle;
    if (data && !byteSize) return kErrorInvalidParameter;
    if (!keyExistsLocked(reg, key->path)) return kErrorKeyDeleted;
    auto keyIt = reg.keys.find(key->path);
    if (keyIt == reg.keys.end()) return kErrorFileNotFound;  // an untouched root has no values
    auto valueIt = keyIt->second.values.find(foldRegistryName(name));
    if (valueIt == keyIt->second.values.end()) return kErrorFileNotFound;
    const StoredValue& value = valueIt->second;
    if (type) *type = value.type;
    auto size = static_cast<uint32_t>(value.bytes.size());
    if (!data) {
      if (byteSize) *byteSize = size;
      return kErrorSuccess;
    }
    if (*byteSize < size) {
      *byteSize = size;
      return kErrorMoreData;
    }
    if (size) std::memcpy(data, value.bytes.data(), size);
    *byteSize = size;
    return kErrorSuccess;
  } catch (...) {
    return kErrorNotEnoughMemory;
  }
}

long closeRegistryKey(RegistryHandle handle) {
  try {
    Registry& reg = registry();
    std::lock_guard lock(reg.mutex);
    OpenKey* key = findHandleLocked(reg, handle);
    if (!key) return kErrorInvalidHandle;
    reg.handles.erase(key);
    delete key;
    return kErrorSuccess;
  } catch (...) {
    return kErrorNotEnoughMemory;
  }
}

std::size_t openRegistryHandleCount() {
  Registry& reg = registry();
  std::lock_guard lock(reg.mutex);
  return reg.handles.size();
}

std::optional<RegistryValue> readRegistryValue(RegistryRoot root, std::u16string_view keyPath,
                                               std::u16string_view name) {
  Registry& reg = registry();
  std::lock_guard lock(reg.mutex);
  std::u16string folded = rootPrefix(root);
  appendComponents(keyPath, folded, nullptr);
  auto keyIt = reg.keys.find(folded);
  if (keyIt == reg.keys.end()) return std::nullopt;
  auto valueIt = keyIt->second.values.find(foldRegistryName(name));
  if (valueIt == keyIt->second.values.end()) return std::nullopt;
  return RegistryValue{valueIt->second.type, valueIt->second.bytes};
}

}  // namespace simdesktop
