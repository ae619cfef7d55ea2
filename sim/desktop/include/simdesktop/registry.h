// The simulated Windows registry: keys under HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER, filled by the
// host (fmsim, tests) from code or from a text file, and read by the module's platform backend with
// the semantics of RegOpenKeyExW / RegQueryValueExW / RegCloseKey. Every function may be called from
// any thread; one process-wide registry sits behind a mutex.
//
// Key paths are separated by backslashes ("Software\\JavaSoft"); empty components are ignored, so a
// leading or doubled backslash changes nothing. Key and value names compare without regard to case
// (ASCII and Latin-1 letters), as Windows does; the spelling of the first writer is kept. The empty
// value name is the key's default value. Values are stored as the bytes Windows stores: strings as
// UTF-16LE including their terminating zero unit, numbers (REG_DWORD) as 4 little-endian bytes.
//
// Text file format (UTF-8; one item per line; leading and trailing blanks are ignored):
//
//   Windows Registry Editor Version 5.00            optional first line
//   ; a comment                                     also "#"; empty lines are skipped
//   [HKEY_LOCAL_MACHINE\Software\JavaSoft\Java Runtime Environment]
//                                                   selects (and creates) a key; HKLM and HKCU work too
//   [-HKEY_CURRENT_USER\Software\Old]               deletes that key and everything below it
//   "CurrentVersion"="17"                           a string (REG_SZ)
//   @="text"                                        the key's default value
//   "Path"=expand:"%JAVA_HOME%\\bin"                an expandable string (REG_EXPAND_SZ), not expanded
//   "Count"=dword:0000001f                          a number (REG_DWORD), 1 to 8 hexadecimal digits
//   "Blob"=hex:01,02,ff                             binary data (REG_BINARY); "hex:" alone is empty
//   "Gone"=-                                        deletes the value
//
// Inside quotes, \\ stands for one backslash and \" for a quote; any other backslash escape is an
// error. A file is applied completely or not at all: on the first bad line nothing is changed and the
// error names the line ("line 7: expected \"Name\"=value: Foo=bar").
#ifndef SIMDESKTOP_REGISTRY_H
#define SIMDESKTOP_REGISTRY_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "simdesktop/status.h"

namespace simdesktop {

enum class RegistryRoot { localMachine, currentUser };

inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;

// An open key (HKEY). Null is never a valid open key.
using RegistryHandle = void*;

// ---- Filling the registry (the host's side) -------------------------------------------------------

// Each setter creates the key and its parents as needed and replaces an existing value of that name.
void setRegistryString(RegistryRoot root, std::u16string_view keyPath, std::u16string_view name,
                       std::u16string_view value);
void setRegistryExpandString(RegistryRoot root, std::u16string_view keyPath, std::u16string_view name,
                             std::u16string_view value);
void setRegistryDword(RegistryRoot root, std::u16string_view keyPath, std::u16string_view name,
                      uint32_t value);
void setRegistryBinary(RegistryRoot root, std::u16string_view keyPath, std::u16string_view name,
                       const std::vector<uint8_t>& bytes);
// Stores bytes exactly as given under any type, for values Windows would hold but no setter makes (a
// string without its terminator, an odd byte count, a type of its own).
void setRegistryRawValue(RegistryRoot root, std::u16string_view keyPath, std::u16string_view name,
                         uint32_t type, const std::vector<uint8_t>& bytes);
// Creates a key (and its parents) without values.
void createRegistryKey(RegistryRoot root, std::u16string_view keyPath);
// False when there was no such value or key. Deleting a key deletes its subkeys; open handles to a
// deleted key report kErrorKeyDeleted afterwards.
bool deleteRegistryValue(RegistryRoot root, std::u16string_view keyPath, std::u16string_view name);
bool deleteRegistryKey(RegistryRoot root, std::u16string_view keyPath);
// Removes every key and value; both roots stay.
void clearRegistry();

// Applies a text in the format above. On failure nothing is changed and *error (when given) names the
// bad line.
bool loadRegistryText(std::string_view text, std::string* error);
// Reads a file in the format above and applies it; a file that cannot be read is an error too.
bool loadRegistryFile(const std::string& path, std::string* error);

// ---- Reading the registry (the module's side, Windows semantics) ----------------------------------
// These never throw: running out of memory gives kErrorNotEnoughMemory.

// RegOpenKeyExW: kErrorSuccess and a new handle in *result, or kErrorFileNotFound when the key does
// not exist. An empty path opens the root (or the parent) itself.
long openRegistryKey(RegistryRoot root, std::u16string_view keyPath, RegistryHandle* result);
long openRegistrySubKey(RegistryHandle parent, std::u16string_view keyPath, RegistryHandle* result);
// RegQueryValueExW: type and byteSize may be null. With data null, *byteSize receives the value's size.
// With data given, *byteSize is the capacity on entry and the value's size on return; a value larger
// than the capacity gives kErrorMoreData and copies nothing. A missing value gives kErrorFileNotFound.
long queryRegistryValue(RegistryHandle key, std::u16string_view name, uint32_t* type, void* data,
                        uint32_t* byteSize);
// RegCloseKey. kErrorInvalidHandle for a handle that is not open.
long closeRegistryKey(RegistryHandle key);
// Handles opened and not yet closed, so tests can find a key that was never closed.
std::size_t openRegistryHandleCount();

// The value as stored, for checks by tests and the host; none when the key or value is missing.
struct RegistryValue {
  uint32_t type = kRegNone;
  std::vector<uint8_t> bytes;
};
std::optional<RegistryValue> readRegistryValue(RegistryRoot root, std::u16string_view keyPath,
                                               std::u16string_view name);

}  // namespace simdesktop

#endif  // SIMDESKTOP_REGISTRY_H
