#include "objects.h"

#include <array>
#include <deque>
#include <unordered_map>

namespace fmsim {
namespace {

// Blocks, not bytes: a few tens of megabytes at most, and far more deletions than any handle a plug-in
// keeps by mistake outlives in practice.
constexpr size_t kQuarantineLimit = 65536;
constexpr size_t kDeadReportLimit = 10000;

// A deleted object's memory, kept so that its address is not reused soon, with the addresses that died
// with it (its own and those of its handed-out views) and their kinds, for the dead-object report.
struct QuarantinedBlock {
  void* memory = nullptr;
  std::array<const void*, 7> addresses{};
  std::array<ObjectKind, 7> kinds{};
  uint8_t count = 0;
  void add(const HostObject* object) {
    addresses[count] = object;
    kinds[count] = object->kind;
    ++count;
  }
};

struct ObjectTable {
  std::mutex mutex;
  std::unordered_map<const void*, HostObject*> live;
  std::array<int64_t, kObjectKindCount> counts{};
  std::array<int64_t, kObjectKindCount> pluginCounts{};
  std::deque<QuarantinedBlock> quarantine;
  std::vector<DeadObjectReport> deadReports;
  HostContext context;
  int16_t currentEnvironmentFailure = 0;

  ObjectTable() { live.reserve(1024); }
};

thread_local bool tPluginMade = false;

ObjectTable& table() {
  // Never destroyed: plug-in threads may still call in while the process exits.
  static ObjectTable* instance = new ObjectTable();
  return *instance;
}

void evictOldestLocked() {
  ObjectTable& t = table();
  HostObject::operator delete(t.quarantine.front().memory);
  t.quarantine.pop_front();
}

std::string describeKind(ObjectKind kind) {
  return std::string(objectKindName(kind));
}

// Only on the error path: the quarantine is searched, newest first, instead of keeping an index of
// deleted addresses that every delete would have to maintain.
std::string whyNotAlive(const void* address) {
  const ObjectTable& t = table();
  for (auto block = t.quarantine.rbegin(); block != t.quarantine.rend(); ++block) {
    for (uint8_t i = 0; i < block->count; ++i) {
      if (block->addresses[i] == address) return "deleted " + describeKind(block->kinds[i]);
    }
  }
  return "never created";
}

}  // namespace

std::string hexAddress(const void* address) {
  static constexpr char kDigits[] = "0123456789abcdef";
  uintptr_t value = reinterpret_cast<uintptr_t>(address);
  std::string text;
  do {
    text.insert(text.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return "0x" + text;
}

std::string_view objectKindName(ObjectKind kind) {
  switch (kind) {
    case ObjectKind::QuadChar:
      return "QuadChar";
    case ObjectKind::FixPt:
      return "FixPt";
    case ObjectKind::Text:
      return "Text";
    case ObjectKind::Color:
      return "Color";
    case ObjectKind::CharacterStyle:
      return "CharacterStyle";
    case ObjectKind::Locale:
      return "Locale";
    case ObjectKind::Data:
      return "Data";
    case ObjectKind::DataVect:
      return "DataVect";
    case ObjectKind::DateTime:
      return "DateTime";
    case ObjectKind::BinaryData:
      return "BinaryData";
    case ObjectKind::ExprEnv:
      return "ExprEnv";
  }
  return "?";
}

DataObject::DataObject() : HostObject(ObjectKind::Data) {
  textView.owner = this;
  numberView.owner = this;
  dateView.owner = this;
  timeStampView.owner = this;
  binaryView.owner = this;
  locale.owner = this;
}

HostObject* DataObject::view(int bit) {
  HostObject* views[] = {&textView, &numberView, &dateView, &timeStampView, &binaryView, &locale};
  return views[bit];
}

void DataObject::refreshViews() {
  if (handedOutViews & (1 << kTextView)) textView.text = asText(value);
  if (handedOutViews & (1 << kNumberView)) numberView.set(asNumber(value).value_or(Decimal()));
  if (handedOutViews & (1 << kDateView)) dateView.micros = asDateMicros(value);
  if (handedOutViews & (1 << kTimeStampView)) timeStampView.micros = asTimeStampMicros(value);
  if (handedOutViews & (1 << kBinaryView)) binaryView.streams = asStreams(value);
}

void setValueLocked(DataObject* data, Value value) {
  data->value = std::move(value);
  data->refreshViews();
}

std::unique_lock<std::mutex> hostLock() {
  return std::unique_lock<std::mutex>(table().mutex);
}

void registerLocked(std::unique_ptr<HostObject> object) {
  ObjectTable& t = table();
  HostObject* raw = object.get();
  t.live.emplace(raw, raw);
  object.release();
  if (raw->owner == nullptr) {
    ++t.counts[static_cast<size_t>(raw->kind)];
    if (tPluginMade) {
      raw->pluginMade = true;
      ++t.pluginCounts[static_cast<size_t>(raw->kind)];
    }
  }
}

PluginMadeScope::PluginMadeScope() : outer_(tPluginMade) {
  tPluginMade = true;
}

PluginMadeScope::~PluginMadeScope() {
  tPluginMade = outer_;
}

void registerViewLocked(DataObject* data, HostObject* view, int bit) {
  if (data->handedOutViews & (1 << bit)) return;
  table().live.emplace(view, view);
  data->handedOutViews = static_cast<uint8_t>(data->handedOutViews | (1 << bit));
  data->refreshViews();
}

void destroyLocked(HostObject* object) {
  ObjectTable& t = table();
  QuarantinedBlock block;
  block.add(object);
  if (object->kind == ObjectKind::Data) {
    auto* data = static_cast<DataObject*>(object);
    for (int bit = 0; bit <= kLocaleView; ++bit) {
      if (data->handedOutViews & (1 << bit)) block.add(data->view(bit));
    }
  } else if (object->kind == ObjectKind::DataVect) {
    for (DataObject* item : static_cast<DataVectObject*>(object)->items) destroyLocked(item);
  }
  for (uint8_t i = 0; i < block.count; ++i) t.live.erase(block.addresses[i]);
  if (object->owner == nullptr) --t.counts[static_cast<size_t>(object->kind)];
  if (object->pluginMade) --t.pluginCounts[static_cast<size_t>(object->kind)];
  block.memory = dynamic_cast<void*>(object);
  object->~HostObject();
  t.quarantine.push_back(std::move(block));
  if (t.quarantine.size() > kQuarantineLimit) evictOldestLocked();
}

HostObject* findLocked(const void* address, ObjectKind kind, Access access, std::string_view operation) {
  ObjectTable& t = table();
  if (address == nullptr) {
    recordDeadObjectLocked(operation, address, "null");
    return nullptr;
  }
  auto found = t.live.find(address);
  if (found == t.live.end()) {
    recordDeadObjectLocked(operation, address, whyNotAlive(address));
    return nullptr;
  }
  HostObject* object = found->second;
  if (object->kind != kind) {
    recordDeadObjectLocked(
        operation, address,
        "wrong kind (" + describeKind(object->kind) + ", expected " + describeKind(kind) + ")");
    return nullptr;
  }
  if (access != Access::Read && object->owner != nullptr) {
    recordDeadObjectLocked(operation, address,
                           std::string(access == Access::Write ? "read-only" : "not deletable") +
                               ": owned by " + describeKind(object->owner->kind) + " " +
                               hexAddress(object->owner));
    return nullptr;
  }
  return object;
}

HostContext& hostContextLocked() {
  return table().context;
}
int16_t& currentEnvironmentFailureLocked() {
  return table().currentEnvironmentFailure;
}

void recordDeadObjectLocked(std::string_view operation, const void* address, std::string reason) {
  ObjectTable& t = table();
  if (t.deadReports.size() >= kDeadReportLimit) return;
  t.deadReports.push_back(DeadObjectReport{std::string(operation), address, std::move(reason)});
}

void freeQuarantineLocked() {
  while (!table().quarantine.empty()) evictOldestLocked();
}

int64_t liveCountLocked(ObjectKind kind) {
  return table().counts[static_cast<size_t>(kind)];
}

std::string pluginLiveSummaryLocked() {
  std::string summary;
  for (int kind = 0; kind < kObjectKindCount; ++kind) {
    int64_t count = table().pluginCounts[static_cast<size_t>(kind)];
    if (count == 0) continue;
    if (!summary.empty()) summary += ", ";
    summary += std::to_string(count) + " " + describeKind(static_cast<ObjectKind>(kind));
  }
  return summary;
}

int64_t pluginLiveCount() {
  auto lock = hostLock();
  int64_t total = 0;
  for (int64_t count : table().pluginCounts) total += count;
  return total;
}

bool recordObjectsLeftAlive(std::string_view when) {
  auto lock = hostLock();
  std::string summary = pluginLiveSummaryLocked();
  if (summary.empty()) return false;
  recordDeadObjectLocked(when, nullptr, "left alive: " + summary);
  return true;
}

void recordMisuse(std::string_view operation, std::string reason) {
  auto lock = hostLock();
  recordDeadObjectLocked(operation, nullptr, std::move(reason));
}

std::string takeObjectsLeftAlive() {
  auto lock = hostLock();
  ObjectTable& t = table();
  std::string summary = pluginLiveSummaryLocked();
  for (auto& [address, object] : t.live) object->pluginMade = false;
  t.pluginCounts.fill(0);
  return summary;
}

std::vector<DeadObjectReport> takeDeadObjectReports() {
  auto lock = hostLock();
  std::vector<DeadObjectReport> reports;
  reports.swap(table().deadReports);
  return reports;
}

std::string formatDeadObjectReport(const DeadObjectReport& report) {
  // Reports about no object in particular (a leak, a buffer the plug-in overran) name no address.
  if (report.address == nullptr && report.reason != "null") return report.operation + ": " + report.reason;
  return report.operation + " on " + (report.address ? hexAddress(report.address) : std::string("null")) +
         ": " + report.reason;
}

int64_t liveCount(ObjectKind kind) {
  auto lock = hostLock();
  return liveCountLocked(kind);
}

int64_t totalLiveCount() {
  auto lock = hostLock();
  int64_t total = 0;
  for (int64_t count : table().counts) total += count;
  return total;
}

std::vector<DeadObjectReport> deadObjectReports() {
  auto lock = hostLock();
  return table().deadReports;
}

void clearDeadObjectReportsLocked() {
  table().deadReports.clear();
}

void clearDeadObjectReports() {
  auto lock = hostLock();
  clearDeadObjectReportsLocked();
}

}  // namespace fmsim
