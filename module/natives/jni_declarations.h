// The declarations javac writes for the bridge classes' native methods (java/bridge builds them). Every
// unit that defines natives includes this header, so that a native whose parameters, result or calling
// convention differ from its Java declaration does not compile. No state; any thread.
#ifndef XPLUG_NATIVES_JNI_DECLARATIONS_H
#define XPLUG_NATIVES_JNI_DECLARATIONS_H

#include "com_kelvo_xplug_PluginBridge.h"
#include "com_kelvo_xplug_PluginContext.h"
#include "com_kelvo_xplug_types_FMBinary.h"
#include "com_kelvo_xplug_types_FMCharacterStyle.h"
#include "com_kelvo_xplug_types_FMData.h"
#include "com_kelvo_xplug_types_FMText.h"

#endif  // XPLUG_NATIVES_JNI_DECLARATIONS_H
