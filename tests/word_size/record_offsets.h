// The byte offsets of the call record's fields as FileMaker lays out its 32-bit record, shared by the
// record probe module and its test. A 64-bit build keeps the order with pointer-sized address fields.
#ifndef XPLUG_TEST_RECORD_OFFSETS_H
#define XPLUG_TEST_RECORD_OFFSETS_H

#include <cstddef>

#include "fmx/fmx_extern.h"

namespace xplug::test {

struct RecordOffsets {
  size_t apiVersion, selector, unsafeCalls, callParameter, bufferCapacity, instanceID, result, cStartScript,
      cCurrentEnv;
  size_t addressWidth;  // bytes of instanceID, result and the two callbacks
};

inline constexpr RecordOffsets kRecordOffsets =
    sizeof(void*) == 4
        ? RecordOffsets{0, 9, 10, 11, 16, 20, 24, 72, 76, 4}
        : RecordOffsets{offsetof(ExternCallRecord, apiVersion),     offsetof(ExternCallRecord, selector),
                        offsetof(ExternCallRecord, unsafeCalls),    offsetof(ExternCallRecord, callParameter),
                        offsetof(ExternCallRecord, bufferCapacity), offsetof(ExternCallRecord, instanceID),
                        offsetof(ExternCallRecord, result),         offsetof(ExternCallRecord, cStartScript),
                        offsetof(ExternCallRecord, cCurrentEnv),    sizeof(void*)};

}  // namespace xplug::test

#endif  // XPLUG_TEST_RECORD_OFFSETS_H
