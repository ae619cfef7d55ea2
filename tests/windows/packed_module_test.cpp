// The shipped 64-bit files on Windows (Wine in CI): the packed example module loaded as FileMaker loads
// it, its jar extracted to a TEMP folder with a non-ASCII name and its manifest read there, and
// fmsim.exe with FMWrapper.dll running the module from the command line, on a machine with no Java.
#include <windows.h>

#include <gtest/gtest.h>

#include "read_wide_file.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "fmx/fmx_extern.h"

namespace {

std::wstring binFolder() {
  wchar_t self[MAX_PATH] = {};
  DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self, length);
  return path.substr(0, path.find_last_of(L'\\'));
}

// The build puts the tests, fmsim.exe and FMWrapper.dll in <out>\bin and the packed example in
// <out>\plugins.
std::wstring exampleModule() {
  std::wstring bin = binFolder();
  return bin.substr(0, bin.find_last_of(L'\\')) + L"\\plugins\\XPlugExample.fmx64";
}

struct ProcessResult {
  DWORD exitCode = 0xFFFFFFFF;
  std::string output;  // standard output and standard error together
};

// Runs a command line with both output streams into one pipe and waits for it to end.
ProcessResult runProcess(std::wstring commandLine) {
  ProcessResult result;
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return result;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  PROCESS_INFORMATION process{};
  BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                &startup, &process);
  CloseHandle(writeEnd);
  if (started) {
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &read, nullptr) && read > 0)
      result.output.append(buffer, read);
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  CloseHandle(readEnd);
  // Text-mode streams end their lines with CR LF; the checks read plain line feeds.
  std::string plain;
  for (char c : result.output) {
    if (c != '\r') plain += c;
  }
  result.output = plain;
  return result;
}

// A copy of the packed example under the temporary folder: the module's path must fit MAX_PATH,
// wherever the build folder is. FMWrapper.dll is found as FileMaker's is, loaded already in the process.
class ModuleCopy {
 public:
  ModuleCopy() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"xplug-module-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder_.c_str(), nullptr);
    path_ = folder_ + L"\\XPlugExample.fmx64";
    copied_ = CopyFileW(exampleModule().c_str(), path_.c_str(), FALSE) != 0;
  }
  ~ModuleCopy() {
    DeleteFileW(path_.c_str());
    RemoveDirectoryW(folder_.c_str());
  }
  ModuleCopy(const ModuleCopy&) = delete;
  ModuleCopy& operator=(const ModuleCopy&) = delete;
  bool copied() const { return copied_; }
  const std::wstring& path() const { return path_; }

 private:
  std::wstring folder_;
  std::wstring path_;
  bool copied_ = false;
};

std::wstring fmsimCommand(const ModuleCopy& module, const std::wstring& arguments) {
  return L"\"" + binFolder() + L"\\fmsim.exe\" --plugin \"" + module.path() + L"\" " + arguments;
}

TEST(PackedModule, ItsJarIsExtractedToANonAsciiTempFolderAndItsManifestRead) {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring folder = std::wstring(temp) + L"Jos\u00e9 " + std::to_wstring(GetCurrentProcessId());
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  // The module reads TEMP through the C runtime, as FileMaker's process would have it.
  ASSERT_EQ(_wputenv_s(L"TEMP", folder.c_str()), 0);

  const std::wstring jar = folder + L"\\XPlugExample.jar";
  {
    // Under the new TEMP, so that the module's own path has the non-ASCII letter too.
    ModuleCopy copy;
    ASSERT_TRUE(copy.copied());
    HMODULE module = LoadLibraryW(copy.path().c_str());
    ASSERT_NE(module, nullptr) << "error " << GetLastError();
    auto entry = reinterpret_cast<FmxExternCallProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "FMExternCallProc")));
    ASSERT_NE(entry, nullptr);

    char16_t name[256] = {};
    ExternCallRecord record{};
    record.selector = kFmxSelectorGetString;
    record.callParameter = kFmxStringName;
    record.bufferCapacity = 256;
    record.instanceID = reinterpret_cast<uintptr_t>(module);
    record.result = reinterpret_cast<uintptr_t>(name);
    entry(&record);
    EXPECT_EQ(std::u16string(name), u"XPlug Example");
    FreeLibrary(module);
  }
  const std::string content = readAll(jar);
  EXPECT_EQ(content.substr(0, 4), std::string("PK\x03\x04", 4)) << "the copy is the archive";
  DeleteFileW(jar.c_str());
  RemoveDirectoryW(folder.c_str());
}

TEST(FmsimExe, InfoPrintsTheStringsOfTheAttachedJar) {
  ModuleCopy module;
  ASSERT_TRUE(module.copied());
  ProcessResult run = runProcess(fmsimCommand(module, L"--info"));
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_NE(run.output.find("128: XPlug Example\n"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("129: Example functions written in Java (1.0)\n"), std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("131: XPEX1nnYn\n"), std::string::npos) << run.output;
}

// No Java runtime is registered in the test machine: start-up answers -2, the user is told in a message
// box (which fmsim prints and dismisses), the log under the user's Documents folder says why, and the
// calculation engine goes on without the plug-in.
TEST(FmsimExe, WithoutJavaStartUpAnswersMinusTwoAndTheLogSaysWhy) {
  for (const wchar_t* key : {L"Software\\JavaSoft\\Java Runtime Environment", L"Software\\JavaSoft\\JRE",
                             L"Software\\JavaSoft\\JDK"}) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, key);
  }
  ModuleCopy module;
  ASSERT_TRUE(module.copied());
  ProcessResult run = runProcess(fmsimCommand(module, L"-e \"1+1\""));
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_NE(run.output.find("fmsim: the plug-in answered -2 at start-up"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("message box: Kvantrel plugins require Java 8 or later"), std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("\n2\n"), std::string::npos) << run.output;

  HKEY folders = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER,
                          L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", 0,
                          KEY_READ, &folders),
            ERROR_SUCCESS);
  wchar_t documents[MAX_PATH] = {};
  DWORD size = sizeof documents - sizeof(wchar_t);
  LONG status =
      RegQueryValueExW(folders, L"Personal", nullptr, nullptr, reinterpret_cast<BYTE*>(documents), &size);
  RegCloseKey(folders);
  ASSERT_EQ(status, ERROR_SUCCESS);
  const std::string log = readAll(std::wstring(documents) + L"\\KvtPlugin Logs\\XPlug Example_FMPro.log");
  EXPECT_NE(log.find("which is not installed on this computer. Download it from"), std::string::npos) << log;
  EXPECT_NE(log.find("(error 2)\r\n"), std::string::npos) << log;
}

}  // namespace
