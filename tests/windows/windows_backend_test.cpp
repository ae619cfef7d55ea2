// The module's Windows backend against real Windows (Wine in CI): the registry as runtime discovery
// reads it, files and the temporary folder, code page 1252, the log's folders, windows across threads,
// the message loop, the clipboard and the VM's console hook. Each case runs in a process of its own.
#include <windows.h>

#include <gtest/gtest.h>

#include "read_wide_file.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <thread>

#include "jvm/bridge_instance.h"
#include "jvm/java_runtime.h"
#include "jvm/jvm_session.h"
#include "log/plugin_log.h"
#include "platform/platform.h"
#include "text/string_conversions.h"

namespace xplug {
namespace {

const wchar_t* w(const char16_t* text) {
  return reinterpret_cast<const wchar_t*>(text);
}

std::wstring tempFolder() {
  wchar_t buffer[MAX_PATH] = {};
  DWORD length = GetTempPathW(MAX_PATH, buffer);
  std::wstring folder(buffer, length);
  if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
  return folder;
}

std::string ansi(const std::wstring& text) {
  int needed = WideCharToMultiByte(CP_THREAD_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<size_t>(needed), '\0');
  WideCharToMultiByte(CP_THREAD_ACP, 0, text.c_str(), -1, result.data(), needed, nullptr, nullptr);
  result.resize(static_cast<size_t>(needed > 0 ? needed - 1 : 0));
  return result;
}

// ---- Runtime discovery against the real registry ----

constexpr wchar_t kOldKey[] = L"Software\\JavaSoft\\Java Runtime Environment";
constexpr wchar_t kJreKey[] = L"Software\\JavaSoft\\JRE";
constexpr wchar_t kJdkKey[] = L"Software\\JavaSoft\\JDK";

void setString(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  HKEY handle = nullptr;
  ASSERT_EQ(
      RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr),
      ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
  RegCloseKey(handle);
}

void setDword(const std::wstring& key, const wchar_t* name, DWORD value) {
  HKEY handle = nullptr;
  ASSERT_EQ(
      RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr),
      ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(handle, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value),
            ERROR_SUCCESS);
  RegCloseKey(handle);
}

void createKey(const std::wstring& key) {
  HKEY handle = nullptr;
  ASSERT_EQ(
      RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr),
      ERROR_SUCCESS);
  RegCloseKey(handle);
}

// The Wine prefix is shared by the run's tests, which ctest runs one at a time: each discovery case
// starts and ends with no Java runtime registered.
class DiscoveryTest : public ::testing::Test {
 protected:
  void SetUp() override { removeRuntimes(); }
  void TearDown() override { removeRuntimes(); }
  static void removeRuntimes() {
    for (const wchar_t* key : {kOldKey, kJreKey, kJdkKey}) RegDeleteTreeW(HKEY_LOCAL_MACHINE, key);
  }
  static std::string discover() {
    jvmSession.jvmError = nullptr;
    locateJavaRuntime();
    return jvmSession.jvmError != nullptr ? jvmSession.jvmError : "";
  }
};

bool endsWith(const std::string& text, const std::string& ending) {
  return text.size() >= ending.size() &&
         text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

TEST_F(DiscoveryTest, NoRuntimeRegisteredIsErrorTwoAndLeavesPathAlone) {
  std::u16string pathBefore = readPathVariable();
  EXPECT_TRUE(endsWith(discover(), " (error 2)"));
  EXPECT_EQ(readPathVariable(), pathBefore);
}

// A Java 9+ runtime registers under JRE or JDK: each broken entry stops discovery at its own step.
TEST_F(DiscoveryTest, EachBrokenEntryOfANewerRuntimeKeyGivesItsError) {
  const std::wstring version = std::wstring(kJreKey) + L"\\17";
  const std::wstring missingFolder = tempFolder() + L"\\no-such-runtime\\bin\\server\\jvm.dll";

  setDword(kJreKey, L"CurrentVersion", 17);
  EXPECT_TRUE(endsWith(discover(), " (error 3)")) << "a CurrentVersion that is not a string";

  setString(kJreKey, L"CurrentVersion", L"17");
  EXPECT_TRUE(endsWith(discover(), " (error 4)")) << "no subkey for the version";

  createKey(version);
  EXPECT_TRUE(endsWith(discover(), " (error 5)")) << "no JavaHome";

  setString(version, L"JavaHome", L"C:\\Java\\jdk-17");
  EXPECT_TRUE(endsWith(discover(), " (error 6)")) << "no RuntimeLib";
  EXPECT_EQ(jvmSession.javaLibDir, u"C:\\Java\\jdk-17\\lib");

  setString(version, L"RuntimeLib", L"jvm.dll");
  EXPECT_TRUE(endsWith(discover(), " (error 7)")) << "a RuntimeLib without a folder";

  setString(version, L"RuntimeLib", missingFolder);
  std::u16string pathBefore = readPathVariable();
  EXPECT_TRUE(endsWith(discover(), " (error 8)")) << "a RuntimeLib that does not load";
  EXPECT_EQ(readPathVariable(), pathBefore + u";C:\\Java\\jdk-17\\bin;" +
                                    std::u16string(reinterpret_cast<const char16_t*>(
                                        missingFolder.substr(0, missingFolder.rfind(L'\\')).c_str())));
  EXPECT_EQ(jvmSession.runtimeLibrary, nullptr);
}

TEST_F(DiscoveryTest, TheOldKeyIsReadFirstAndTheJdkKeyLast) {
  setString(kJdkKey, L"CurrentVersion", L"21");
  EXPECT_TRUE(endsWith(discover(), " (error 4)")) << "the JDK key is read when it is the only one";
  setString(kOldKey, L"CurrentVersion", L"1.8");
  setString(std::wstring(kOldKey) + L"\\1.8", L"JavaHome", L"C:\\Java\\jre8\\");
  EXPECT_TRUE(endsWith(discover(), " (error 6)")) << "the old key wins over the JDK key";
  EXPECT_EQ(jvmSession.javaLibDir, u"C:\\Java\\jre8\\lib");
}

// A library that loads but is no Java runtime: discovery succeeds, and the missing invocation functions
// are said in the log and leave VM creation to fail with error 1.
TEST_F(DiscoveryTest, ALibraryWithoutTheInvocationFunctionsLoadsButHasNoEntryPoints) {
  wchar_t system[MAX_PATH] = {};
  UINT length = GetSystemDirectoryW(system, MAX_PATH);
  ASSERT_GT(length, 0u);
  setString(kJreKey, L"CurrentVersion", L"17");
  setString(std::wstring(kJreKey) + L"\\17", L"JavaHome", L"C:\\Java\\jdk-17");
  setString(std::wstring(kJreKey) + L"\\17", L"RuntimeLib", std::wstring(system, length) + L"\\version.dll");
  EXPECT_EQ(discover(), "");
  EXPECT_NE(jvmSession.runtimeLibrary, nullptr);
  EXPECT_EQ(jvmSession.entryPoints.createJavaVM, nullptr);
}

// ---- Files, paths and code pages ----

TEST(WindowsText, ThreadCodePage1252ConvertsAndBestFits) {
  ASSERT_EQ(GetACP(), 1252u) << "the tests expect a Western European machine";
  EXPECT_EQ(wideToAnsi(u"Jos\u00e9"), std::optional<std::string>("Jos\xe9"));
  // Best fit: a letter the page lacks becomes its base letter.
  EXPECT_EQ(wideToAnsi(u"\u0141\u00f3d\u017a"), std::optional<std::string>("L\xf3"
                                                                           "dz"));
  EXPECT_EQ(ansiToWide("\x80 \xe9"), std::optional<std::u16string>(u"\u20ac \u00e9"));
}

TEST(WindowsText, JarUrlsCarryTheAnsiPathAsUtf8) {
  EXPECT_EQ(jarUrlText("C:\\Users\\Jos\xe9\\AppData\\Local\\Temp\\My Plugin.jar"),
            std::optional<std::string>("file:///C:/Users/Jos%C3%A9/AppData/Local/Temp/My%20Plugin.jar"));
}

TEST(WindowsText, WidePathsAreLoggedInTheAnsiPageOfNarrowPaths) {
  EXPECT_EQ(logText(u"C:\\Users\\Jos\u00e9"), "C:\\Users\\Jos\xe9");
}

class WindowsFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = tempFolder() + L"\\xplug-files-" + std::to_wstring(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  }
  void TearDown() override {
    for (const wchar_t* name : {L"\\new.bin", L"\\append.log", L"\\sub"}) {
      DeleteFileW((folder_ + name).c_str());
      RemoveDirectoryW((folder_ + name).c_str());
    }
    RemoveDirectoryW(folder_.c_str());
  }
  std::wstring folder_;
};

TEST_F(WindowsFilesTest, ExclusiveCreationReplacesFilesAndRefusesFolders) {
  const std::string file = ansi(folder_ + L"\\new.bin");
  std::FILE* stream = platform::createFileExclusive(file.c_str());
  ASSERT_NE(stream, nullptr);
  std::fputs("first\n", stream);
  std::fclose(stream);
  stream = platform::createFileExclusive(file.c_str());
  ASSERT_NE(stream, nullptr);
  std::fputs("a\nb", stream);
  std::fclose(stream);
  EXPECT_EQ(readAll(folder_ + L"\\new.bin"), "a\nb") << "binary, a new file";

  ASSERT_TRUE(platform::createDirectory(reinterpret_cast<const char16_t*>((folder_ + L"\\sub").c_str())));
  EXPECT_EQ(platform::createFileExclusive(ansi(folder_ + L"\\sub").c_str()), nullptr);
  EXPECT_EQ(platform::lastCRuntimeError(), platform::kPlantedFileError);
  EXPECT_EQ(platform::openFileAppendOwn(ansi(folder_ + L"\\sub").c_str()), nullptr);
  EXPECT_EQ(platform::lastCRuntimeError(), platform::kPlantedFileError);
  EXPECT_TRUE(platform::pathExists(ansi(folder_ + L"\\sub").c_str()));
  EXPECT_FALSE(platform::pathExists(ansi(folder_ + L"\\missing").c_str()));
}

TEST_F(WindowsFilesTest, AppendingWritesTextModeLineEnds) {
  const std::string file = ansi(folder_ + L"\\append.log");
  for (const char* line : {"one\n", "two\n"}) {
    std::FILE* stream = platform::openFileAppendOwn(file.c_str());
    ASSERT_NE(stream, nullptr);
    std::fputs(line, stream);
    std::fclose(stream);
  }
  EXPECT_EQ(readAll(folder_ + L"\\append.log"), "one\r\ntwo\r\n");
}

TEST(WindowsPlatform, EnvironmentAndModulePath) {
  ASSERT_TRUE(platform::setEnvironmentWide(u"XPLUG_TEST_VALUE", u"Jos\u00e9"));
  EXPECT_EQ(platform::getEnvironmentWide(u"XPLUG_TEST_VALUE"), std::optional<std::u16string>(u"Jos\u00e9"));
  EXPECT_FALSE(platform::getEnvironmentWide(u"XPLUG_TEST_UNSET_VALUE").has_value());

  std::optional<std::string> self =
      platform::moduleFileName(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr)));
  ASSERT_TRUE(self.has_value());
  EXPECT_NE(self->find(".exe"), std::string::npos);
  EXPECT_NE(platform::findSymbol(platform::loadLibrary(u"kernel32.dll"), "GetTickCount"), nullptr);
}

// ---- The VM's console hook ----

jint callHook(std::FILE* stream, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  jint result = vmMessageHook(stream, format, arguments);
  va_end(arguments);
  return result;
}

// A stream the hook did not get from our own runtime's standard streams may belong to another C
// runtime: it is never touched, and the text goes to the debugger output instead.
TEST(WindowsLog, TheVmHookWritesOnlyOurOwnStandardStreams) {
  EXPECT_FALSE(platform::canWriteToStream(nullptr));
  std::FILE* other = std::tmpfile();
  ASSERT_NE(other, nullptr);
  EXPECT_FALSE(platform::canWriteToStream(other));
  EXPECT_EQ(callHook(other, "VM says %d\n", 42), 11);
  EXPECT_EQ(std::ftell(other), 0) << "the stream was written";
  std::fclose(other);
  EXPECT_TRUE(platform::canWriteToStream(stderr));
  EXPECT_EQ(callHook(stderr, "VM says %d\n", 42), 11);
}

TEST(WindowsLog, TheLogGoesToTheRealDocumentsFolder) {
  std::optional<platform::RegistryKey> key =
      platform::openRegistryKey(platform::RegistryRoot::currentUser,
                                u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
  ASSERT_TRUE(key.has_value());
  std::optional<std::u16string> documents = readRegistryText(*key, u"Personal");
  ASSERT_TRUE(documents.has_value());
  logMessage("Windows backend test %lu\n", static_cast<unsigned long>(GetCurrentProcessId()));
  // The host type is still unknown, so the message goes to the shared file.
  std::string content = readAll(std::wstring(w(documents->c_str())) + L"\\KvtPlugin Logs\\miscellaneous.log");
  EXPECT_NE(content.find("Windows backend test " + std::to_string(GetCurrentProcessId()) + "\r\n"),
            std::string::npos);
}

// ---- Windows, the message loop and the clipboard ----

constexpr wchar_t kTestClass[] = L"XPlugTestWindow";
LONG dispatchedMessages = 0;

LRESULT CALLBACK countingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP) InterlockedIncrement(&dispatchedMessages);
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND makeWindow(const wchar_t* title, HWND parent = nullptr) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = countingProcedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kTestClass;
  RegisterClassW(&windowClass);
  return CreateWindowExW(0, kTestClass, title, parent ? WS_CHILD : WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                         parent, nullptr, windowClass.hInstance, nullptr);
}

TEST(WindowsUi, WindowsOfAnotherThreadAnswerForThemselves) {
  HWND window = nullptr;
  DWORD owner = 0;
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread thread([&] {
    window = makeWindow(L"Jos\u00e9's window");
    owner = GetCurrentThreadId();
    SetEvent(ready);
    // The window's thread serves its messages until the test is done with it.
    while (MsgWaitForMultipleObjects(1, &done, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    DestroyWindow(window);
  });
  WaitForSingleObject(ready, INFINITE);
  ASSERT_NE(window, nullptr);
  const platform::WindowHandle handle = reinterpret_cast<uintptr_t>(window) & 0xFFFFFFFFu;

  char16_t title[64] = {};
  EXPECT_EQ(platform::getWindowText(handle, title, 64), 13);
  EXPECT_EQ(std::u16string(title), u"Jos\u00e9's window");
  EXPECT_EQ(platform::getWindowThreadId(handle), owner);
  EXPECT_NE(platform::getWindowThreadId(handle), platform::getCurrentThreadId());
  EXPECT_TRUE(platform::isWindowEnabled(handle));
  EXPECT_FALSE(platform::enableWindow(handle, false));
  EXPECT_FALSE(platform::isWindowEnabled(handle));
  EXPECT_EQ(platform::getWindowLong(handle, platform::kGwlStyle) & platform::kWsChild, 0);
  EXPECT_EQ(platform::getParent(handle), 0u);
  EXPECT_EQ(platform::getWindowText(0x7FFF0001u, title, 64), 0) << "no such window";

  SetEvent(done);
  thread.join();
  CloseHandle(ready);
  CloseHandle(done);
}

TEST(WindowsUi, TheMessageLoopReceivesDispatchesAndStopsAtQuit) {
  HWND window = makeWindow(L"loop");
  ASSERT_NE(window, nullptr);
  const platform::WindowHandle handle = reinterpret_cast<uintptr_t>(window) & 0xFFFFFFFFu;
  ASSERT_TRUE(platform::postMessage(handle, WM_APP, 7, -1));
  platform::WindowMessage message;
  ASSERT_EQ(platform::getMessage(&message, 0, WM_APP, WM_APP), 1);
  EXPECT_EQ(message.window, handle);
  EXPECT_EQ(message.wParam, 7u);
  EXPECT_EQ(message.lParam, -1);
  platform::dispatchMessage(&message);
  EXPECT_EQ(dispatchedMessages, 1);

  PostQuitMessage(3);
  EXPECT_EQ(platform::getMessage(&message, 0, 0, 0), 0);
  EXPECT_EQ(message.message, platform::kWmQuit);
  platform::setLastError(0);
  EXPECT_EQ(platform::getMessage(&message, 0x7FFF0001u, 0, 0), -1);
  EXPECT_EQ(platform::getLastError(), platform::kErrorInvalidWindowHandle);
  DestroyWindow(window);
}

TEST(WindowsUi, ClipboardTextIsOfferedInTheSynthesisedFormatsToo) {
  ASSERT_TRUE(platform::openClipboard(0));
  ASSERT_TRUE(platform::emptyClipboard());
  const char16_t text[] = u"Jos\u00e9";
  platform::GlobalMemory block = platform::globalAlloc(platform::kGmemMoveable, sizeof text);
  ASSERT_NE(block, nullptr);
  std::memcpy(platform::globalLock(block), text, sizeof text);
  platform::globalUnlock(block);
  ASSERT_EQ(platform::setClipboardData(platform::kCfUnicodeText, block), block);
  ASSERT_TRUE(platform::closeClipboard());

  ASSERT_TRUE(platform::openClipboard(0));
  bool unicode = false;
  bool ansiText = false;
  for (uint32_t format = platform::enumClipboardFormats(0); format != 0;
       format = platform::enumClipboardFormats(format)) {
    unicode = unicode || format == platform::kCfUnicodeText;
    ansiText = ansiText || format == platform::kCfText;
  }
  EXPECT_TRUE(unicode);
  EXPECT_TRUE(ansiText) << "Windows offers Unicode text as ANSI text as well";
  EXPECT_GE(platform::countClipboardFormats(), 2);
  platform::GlobalMemory narrow = platform::getClipboardData(platform::kCfText);
  ASSERT_NE(narrow, nullptr);
  EXPECT_STREQ(static_cast<const char*>(platform::globalLock(narrow)), "Jos\xe9");
  platform::globalUnlock(narrow);
  EXPECT_TRUE(platform::closeClipboard());
}

}  // namespace
}  // namespace xplug
