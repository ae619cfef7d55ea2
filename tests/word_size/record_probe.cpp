// A stand-in plug-in module that works on the call record only through byte offsets, the way FileMaker's
// record is defined: it keeps a copy of every record it is given, answers a string query by writing
// "ok" into the buffer found at the result offset, and reports -2 from start-up at the same offset.
#include <cstdint>
#include <cstring>

#include "fmx/fmx_calls.h"
#include "record_offsets.h"

using xplug::test::kRecordOffsets;

extern "C" __attribute__((visibility("default"))) unsigned char recordProbeBytes[sizeof(ExternCallRecord)];
unsigned char recordProbeBytes[sizeof(ExternCallRecord)];

namespace {

uintptr_t addressAt(const unsigned char* bytes, size_t offset) {
  uintptr_t value = 0;
  std::memcpy(&value, bytes + offset, sizeof value);
  return value;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void FMExternCallProc(ExternCallRecord* record) {
  auto* bytes = reinterpret_cast<unsigned char*>(record);
  std::memcpy(recordProbeBytes, bytes, sizeof recordProbeBytes);
  const uint8_t selector = bytes[kRecordOffsets.selector];
  if (selector == kFmxSelectorGetString) {
    uint32_t capacity = 0;
    std::memcpy(&capacity, bytes + kRecordOffsets.bufferCapacity, sizeof capacity);
    auto* buffer = reinterpret_cast<char16_t*>(addressAt(bytes, kRecordOffsets.result));
    if (buffer != nullptr && capacity >= 3) std::memcpy(buffer, u"ok", 3 * sizeof(char16_t));
  } else if (selector == kFmxSelectorInit) {
    // Starts the script "Invoices" / "Print" through the callback found at the script callback's offset.
    auto startScript =
        reinterpret_cast<FmxStartScriptFunction>(addressAt(bytes, kRecordOffsets.cStartScript));
    HostErrorRecord err{1, 0};
    FmxText* file = FM_Text_Constructor1(&err);
    FmxText* script = FM_Text_Constructor1(&err);
    FM_Text_AssignUnicode(file, reinterpret_cast<const uint16_t*>(u"Invoices"), &err);
    FM_Text_AssignUnicode(script, reinterpret_cast<const uint16_t*>(u"Print"), &err);
    if (startScript != nullptr) startScript(file, script, 2, nullptr);
    FM_Text_Delete(file, &err);
    FM_Text_Delete(script, &err);
    const uintptr_t notEnabled = static_cast<uintptr_t>(-2);
    std::memcpy(bytes + kRecordOffsets.result, &notEnabled, sizeof notEnabled);
  }
}
