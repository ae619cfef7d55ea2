#include "function_registry.h"

#include <unordered_map>

#include "objects.h"
#include "value_model.h"

namespace fmsim {
namespace {

struct FunctionTable {
  std::vector<RegisteredFunction> functions;
  std::unordered_map<std::u16string, size_t> indexByFoldedName;
};

FunctionTable& functionTable() {
  static FunctionTable* instance = new FunctionTable();
  return *instance;
}

}  // namespace

void registerFunctionLocked(RegisteredFunction function) {
  FunctionTable& t = functionTable();
  std::u16string key = upperText(function.name);
  auto found = t.indexByFoldedName.find(key);
  if (found != t.indexByFoldedName.end()) {
    t.functions[found->second] = std::move(function);
    return;
  }
  t.functions.push_back(std::move(function));
  try {
    t.indexByFoldedName.emplace(std::move(key), t.functions.size() - 1);
  } catch (...) {
    t.functions.pop_back();
    throw;
  }
}

std::optional<RegisteredFunction> findFunctionLocked(std::u16string_view name) {
  FunctionTable& t = functionTable();
  auto found = t.indexByFoldedName.find(upperText(name));
  if (found == t.indexByFoldedName.end()) return std::nullopt;
  return t.functions[found->second];
}

std::vector<RegisteredFunction> registeredFunctionsLocked() {
  return functionTable().functions;
}

void clearFunctionsLocked() {
  functionTable().functions.clear();
  functionTable().indexByFoldedName.clear();
}

std::vector<RegisteredFunction> registeredFunctions() {
  auto lock = hostLock();
  return registeredFunctionsLocked();
}

void clearRegisteredFunctions() {
  auto lock = hostLock();
  clearFunctionsLocked();
}

}  // namespace fmsim
