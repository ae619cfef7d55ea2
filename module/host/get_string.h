// The host's string queries (plug-in name, description line, options) answered from the manifest of
// the attached jar, which is read on the first query of the process. Called by FMExternCallProc on
// FileMaker's thread, one call at a time; needs no Java.
#ifndef XPLUG_HOST_GET_STRING_H
#define XPLUG_HOST_GET_STRING_H

#include <cstdint>

namespace xplug {

// Writes the text for `stringId` into the host's UTF-16 buffer of `bufferCapacity` units, the
// terminating zero included; an id it does not answer, a null buffer or a capacity of 0 leave the
// buffer untouched. A value the manifest lacks is written as an empty text.
void handleGetString(uint16_t stringId, uint32_t bufferCapacity, char16_t* buffer);

}  // namespace xplug

#endif  // XPLUG_HOST_GET_STRING_H
