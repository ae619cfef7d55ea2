// Recording of message boxes and debugger output. Listeners are copied out under the lock and called
// after it is released, so a listener may use the desktop itself.
#include <mutex>

#include "simdesktop/user_interface.h"

namespace simdesktop {
namespace {

struct Recordings {
  std::mutex mutex;
  std::vector<MessageBoxRecord> messageBoxes;
  MessageBoxListener messageBoxListener;
  std::vector<std::u16string> debugOutput;
  DebugOutputListener debugOutputListener;
};

Recordings& recordings() {
  // Never destroyed: the module may write debugger output while the process's statics are torn down.
  static Recordings* instance = new Recordings;
  return *instance;
}

}  // namespace

int showMessageBox(const char16_t* text, const char16_t* caption) {
  try {
    MessageBoxRecord record{text ? std::u16string(text) : std::u16string(),
                            caption ? std::u16string(caption) : std::u16string(kDefaultMessageBoxCaption),
                            caption == nullptr};
    MessageBoxListener listener;
    {
      Recordings& rec = recordings();
      std::lock_guard lock(rec.mutex);
      rec.messageBoxes.push_back(record);
      listener = rec.messageBoxListener;
    }
    if (listener) listener(record);
    return kMessageBoxOk;
  } catch (...) {
    // A box that cannot be recorded is still answered, as a user would.
    return kMessageBoxOk;
  }
}

std::vector<MessageBoxRecord> recordedMessageBoxes() {
  Recordings& rec = recordings();
  std::lock_guard lock(rec.mutex);
  return rec.messageBoxes;
}

void clearMessageBoxes() {
  Recordings& rec = recordings();
  std::lock_guard lock(rec.mutex);
  rec.messageBoxes.clear();
}

void setMessageBoxListener(MessageBoxListener listener) {
  Recordings& rec = recordings();
  std::lock_guard lock(rec.mutex);
  rec.messageBoxListener = std::move(listener);
}

void outputDebugString(const char16_t* text) {
  try {
    if (!text) return;
    std::u16string line(text);
    DebugOutputListener listener;
    {
      Recordings& rec = recordings();
      std::lock_guard lock(rec.mutex);
      rec.debugOutput.push_back(line);
      listener = rec.debugOutputListener;
    }
    if (listener) listener(line);
  } catch (...) {
    // Debugger output is best effort, as on Windows.
  }
}

std::vector<std::u16string> recordedDebugOutput() {
  Recordings& rec = recordings();
  std::lock_guard lock(rec.mutex);
  return rec.debugOutput;
}

void clearDebugOutput() {
  Recordings& rec = recordings();
  std::lock_guard lock(rec.mutex);
  rec.debugOutput.clear();
}

void setDebugOutputListener(DebugOutputListener listener) {
  Recordings& rec = recordings();
  std::lock_guard lock(rec.mutex);
  rec.debugOutputListener = std::move(listener);
}

}  // namespace simdesktop
