// Internal to the simulated desktop: the registry's stored value and the batch of changes that a
// registry file becomes, so that a file is parsed completely before anything is applied.
#ifndef SIMDESKTOP_REGISTRY_STORE_H
#define SIMDESKTOP_REGISTRY_STORE_H

#include <string>
#include <string_view>
#include <vector>

#include "simdesktop/registry.h"

namespace simdesktop {

struct StoredValue {
  std::u16string name;
  uint32_t type = kRegNone;
  std::vector<uint8_t> bytes;
};

struct RegistryOperation {
  enum class Kind { createKey, deleteKey, setValue, deleteValue };
  Kind kind = Kind::createKey;
  RegistryRoot root = RegistryRoot::localMachine;
  std::u16string keyPath;
  std::u16string name;
  StoredValue value;
};

// The case-insensitive form of a key or value name.
std::u16string foldRegistryName(std::u16string_view name);
// A string value's bytes: UTF-16LE with the terminating zero unit.
std::vector<uint8_t> registryStringBytes(std::u16string_view text);
// Applies the batch under one lock, so readers never see half a file.
void applyRegistryOperations(const std::vector<RegistryOperation>& operations);

}  // namespace simdesktop

#endif  // SIMDESKTOP_REGISTRY_STORE_H
