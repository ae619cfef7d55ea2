// Fills the simulated desktop the way an installed machine would be: the user's documents folder, the
// shared application-data folder and an installed Java runtime in the registry. Used by fmsim and by
// tests before the module is loaded; call from one thread.
#ifndef FMSIM_DESKTOP_SETUP_H
#define FMSIM_DESKTOP_SETUP_H

#include <optional>
#include <string>

namespace fmsim {

// The registry key under which Java runtimes register.
inline constexpr char16_t kJavaRuntimeKey[] = u"Software\\JavaSoft\\Java Runtime Environment";
inline constexpr char16_t kShellFoldersKey[] =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// The JDK fmsim uses when none is named: the JDK the project was built with, else JAVA_HOME, else the
// one `java` on PATH belongs to.
std::optional<std::string> defaultJavaHome();
// Registers the runtime at javaHome: CurrentVersion (its major version, "1.8" style for Java 8 and
// older), JavaHome and RuntimeLib (lib/server/libjvm.so). False with a message when javaHome holds no
// runtime library.
bool registerJavaRuntime(const std::string& javaHome, std::string& error);
// The user's documents folder ("Personal" under HKEY_CURRENT_USER), created when missing.
void registerDocumentsFolder(const std::string& folder);
// The shared application-data folder ("Common AppData" under HKEY_LOCAL_MACHINE).
void registerCommonAppData(const std::string& folder);
// The documents folder of the user running fmsim: $XDG_DOCUMENTS_DIR, else $HOME/Documents.
std::string userDocumentsFolder();

}  // namespace fmsim

#endif  // FMSIM_DESKTOP_SETUP_H
