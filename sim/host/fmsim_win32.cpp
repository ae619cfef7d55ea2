// fmsim's machine on Windows: the real desktop. The plug-in reads the machine's own registry (fmsim.exe
// writes nothing into it), FileMaker's window is a real window with a real timer, and a message box the
// module shows on fmsim's thread is printed and dismissed so that an unattended run never blocks.
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>

#include "fmsim/calculation.h"
#include "fmsim/values.h"
#include "fmsim_platform.h"

namespace fmsim {
namespace {

// The static control that holds a message box's text.
constexpr int kMessageBoxTextId = 0xFFFF;
constexpr UINT_PTR kTimerId = 1;
constexpr UINT kTimerIntervalMs = 5;
constexpr wchar_t kWindowClass[] = L"FMSimFileMakerWindow";

HHOOK messageBoxHook = nullptr;

std::string utf8FromWide(const wchar_t* text) {
  return utf16ToUtf8(reinterpret_cast<const char16_t*>(text));
}

// A message box is a dialog of class "#32770" being activated; its text is read, printed and the box
// closed as if OK were pressed.
LRESULT CALLBACK watchMessageBoxes(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    HWND window = reinterpret_cast<HWND>(wParam);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (std::wstring(className) == L"#32770") {
      wchar_t text[2048] = {};
      GetDlgItemTextW(window, kMessageBoxTextId, text, 2048);
      std::fprintf(stderr, "message box: %s\n", utf8FromWide(text).c_str());
      std::fflush(stderr);
      PostMessageW(window, WM_COMMAND, IDOK, 0);
    }
  }
  return CallNextHookEx(messageBoxHook, code, wParam, lParam);
}

}  // namespace

bool setUpDesktop(const DesktopOptions& options) {
  if (options.documents || options.commonAppData || options.javaHome || options.noJava ||
      !options.registryFiles.empty()) {
    std::fprintf(
        stderr,
        "fmsim: --documents, --common-appdata, --java-home, --no-java and --registry are not available "
        "on Windows: the plug-in reads this machine's own registry\n");
    return false;
  }
  messageBoxHook = SetWindowsHookExW(WH_CBT, watchMessageBoxes, nullptr, GetCurrentThreadId());
  if (messageBoxHook == nullptr) {
    std::fprintf(stderr, "fmsim: cannot watch for message boxes (error %lu)\n", GetLastError());
    return false;
  }
  return true;
}

std::string defaultPluginPath(const char*) {
  wchar_t self[MAX_PATH] = {};
  DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self, length < MAX_PATH ? length : 0);
  // <prefix>\bin\fmsim.exe -> <prefix>\plugins\XPlugExample.fmx(64)
  for (int level = 0; level < 2; ++level) {
    size_t slash = path.find_last_of(L"\\/");
    path.resize(slash == std::wstring::npos ? 0 : slash);
  }
  path += sizeof(void*) == 8 ? L"\\plugins\\XPlugExample.fmx64" : L"\\plugins\\XPlugExample.fmx";
  return utf8FromWide(path.c_str());
}

// The module and the VM write their console output to the C runtime's standard output: its descriptor
// is pointed at standard error (echoConsole) or at NUL, and results go to a duplicate of the original.
std::FILE* separateResults(bool echoConsole) {
  std::fflush(stdout);
  int resultsFd = _dup(_fileno(stdout));
  if (resultsFd < 0) return stdout;
  std::FILE* console = echoConsole ? nullptr : std::fopen("NUL", "w");
  int consoleFd = echoConsole ? _dup(_fileno(stderr)) : (console != nullptr ? _dup(_fileno(console)) : -1);
  if (console != nullptr) std::fclose(console);
  if (consoleFd >= 0) {
    _dup2(consoleFd, _fileno(stdout));
    _close(consoleFd);
  }
  std::FILE* results = _fdopen(resultsFd, "w");
  return results != nullptr ? results : stdout;
}

bool isTerminal(std::FILE* stream) {
  return _isatty(_fileno(stream)) != 0;
}

struct FileMakerWindow::State {
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<State*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (state != nullptr) {
      ++state->handled;
      if (message == WM_TIMER && state->reentry && !state->reentering) {
        state->reentering = true;
        state->reentry();
        state->reentering = false;
        return 0;
      }
    }
    return DefWindowProcW(window, message, wParam, lParam);
  }

  HWND window = nullptr;
  unsigned long long handled = 0;
  std::function<void()> reentry;
  bool reentering = false;
};

void FileMakerWindow::setReentry(std::function<void()> reentry) {
  state_->reentry = std::move(reentry);
}

void FileMakerWindow::serveUntil(const std::function<bool()>& finished) {
  while (!finished()) {
    MSG message;
    if (GetMessageW(&message, nullptr, 0, 0) <= 0) return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void FileMakerWindow::wake() {
  if (state_->window != nullptr) PostMessageW(state_->window, WM_NULL, 0, 0);
}

FileMakerWindow::FileMakerWindow() : state_(std::make_unique<State>()) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = &State::procedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kWindowClass;
  RegisterClassW(&windowClass);
  std::u16string title = u"FileMaker Pro - " + utf8ToUtf16(hostContext().fileName);
  state_->window = CreateWindowExW(0, kWindowClass, reinterpret_cast<const wchar_t*>(title.c_str()),
                                   WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 640, 480, nullptr,
                                   nullptr, windowClass.hInstance, nullptr);
  if (state_->window == nullptr) {
    std::fprintf(stderr, "fmsim: cannot make FileMaker's window (error %lu)\n", GetLastError());
    return;
  }
  SetWindowLongPtrW(state_->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state_.get()));
  ShowWindow(state_->window, SW_SHOWNOACTIVATE);
  SetForegroundWindow(state_->window);
  // WM_TIMER reaches the window whenever its thread runs a message loop, as FileMaker's timers do.
  SetTimer(state_->window, kTimerId, kTimerIntervalMs, nullptr);
}

FileMakerWindow::~FileMakerWindow() {
  if (state_->window == nullptr) return;
  KillTimer(state_->window, kTimerId);
  SetWindowLongPtrW(state_->window, GWLP_USERDATA, 0);
  DestroyWindow(state_->window);
  if (state_->handled > 0) {
    std::fprintf(stderr, "fmsim: FileMaker's window handled %llu messages\n", state_->handled);
  }
}

}  // namespace fmsim
