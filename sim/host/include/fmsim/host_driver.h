// The simulated FileMaker's side of the plug-in protocol: loads a module file, owns the call record and
// the host callbacks, and makes the host calls (get string, start-up, idle, preferences, shutdown).
// One driver per process, used from the thread that plays FileMaker's main thread.
#ifndef FMSIM_HOST_DRIVER_H
#define FMSIM_HOST_DRIVER_H

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "fmx/fmx_extern.h"

namespace fmsim {

// One script start the module asked for.
struct ScriptStart {
  std::u16string file;
  std::u16string script;
  int32_t control = 0;
  // The parameter's text, or none when the module passed no parameter.
  std::optional<std::u16string> parameter;
};

class HostDriver {
 public:
  // The interface version the driver reports at start-up.
  static constexpr int16_t kApiVersion = 57;

  HostDriver();
  ~HostDriver();
  HostDriver(const HostDriver&) = delete;
  HostDriver& operator=(const HostDriver&) = delete;

  // Loads the module file and finds its entry point. On failure returns false with a message.
  bool load(const std::string& modulePath, std::string& error);
  bool loaded() const { return entry_ != nullptr; }
  const std::string& modulePath() const { return modulePath_; }

  // Get string: the module's answer for a string id, read from a buffer of `capacity` units.
  std::u16string getString(uint8_t id, uint32_t capacity = 1024);
  // Start-up with an application type code; returns the module's start-up result.
  int16_t startup(uint8_t appType, bool unsafeCalls = false);
  void idle(uint8_t idleState = 0, bool unsafeCalls = false);
  void preferences(bool unsafeCalls = false);
  void shutdown(bool unsafeCalls = false);
  // Any selector, for tests of the entry point; returns the record as the module left it.
  const ExternCallRecord& call(uint8_t selector, uint8_t callParameter, bool unsafeCalls = false);

  // Script starts the module asked for, in order. A handler, when set, decides each start's result; it
  // runs on the thread that started the script, one start at a time.
  const std::vector<ScriptStart>& scriptStarts() const { return scriptStarts_; }
  void setScriptHandler(std::function<int16_t(const ScriptStart&)> handler) {
    scriptHandler_ = std::move(handler);
  }

 private:
  static int16_t FMX_CALL startScript(const FmxText* fileName, const FmxText* scriptName, int32_t control,
                                      const FmxData* parameter);
  void prepare(uint8_t selector, uint8_t callParameter, bool unsafeCalls);

  void* library_ = nullptr;
  FmxExternCallProc entry_ = nullptr;
  std::string modulePath_;
  ExternCallRecord record_{};
  // Script starts may come from several host threads at once.
  std::mutex scriptMutex_;
  std::vector<ScriptStart> scriptStarts_;
  std::function<int16_t(const ScriptStart&)> scriptHandler_;
};

}  // namespace fmsim

#endif  // FMSIM_HOST_DRIVER_H
