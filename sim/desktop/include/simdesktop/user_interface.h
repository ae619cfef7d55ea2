// The simulated desktop's user-facing outputs: the message box (MessageBoxW) and the debugger output
// (OutputDebugStringW). Both are recorded and passed to a listener, so the host can print them and
// tests can assert them. Callable from any thread; listeners run on the calling thread, outside the
// desktop's lock, and may call back into the desktop; like the Windows calls they stand for, the two
// calls never throw, so an exception from a listener ends there.
#ifndef SIMDESKTOP_USER_INTERFACE_H
#define SIMDESKTOP_USER_INTERFACE_H

#include <functional>
#include <string>
#include <vector>

namespace simdesktop {

// The caption Windows shows when the caller gives none.
inline constexpr char16_t kDefaultMessageBoxCaption[] = u"Error";
// The box's answer: its single OK button.
inline constexpr int kMessageBoxOk = 1;

struct MessageBoxRecord {
  std::u16string text;
  std::u16string caption;
  bool defaultCaption = false;  // the caller gave no caption
};
using MessageBoxListener = std::function<void(const MessageBoxRecord&)>;

// A modal box with one OK button; a null text shows as empty, a null caption as the default caption.
// Returns kMessageBoxOk, as though the user pressed it at once.
int showMessageBox(const char16_t* text, const char16_t* caption);
std::vector<MessageBoxRecord> recordedMessageBoxes();
void clearMessageBoxes();
// Replaces the listener; an empty function removes it.
void setMessageBoxListener(MessageBoxListener listener);

using DebugOutputListener = std::function<void(const std::u16string&)>;
// A null text is ignored, as Windows does.
void outputDebugString(const char16_t* text);
std::vector<std::u16string> recordedDebugOutput();
void clearDebugOutput();
void setDebugOutputListener(DebugOutputListener listener);

}  // namespace simdesktop

#endif  // SIMDESKTOP_USER_INTERFACE_H
