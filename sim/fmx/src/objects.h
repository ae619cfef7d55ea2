// The host's objects and the one table that knows which of them are alive. Every FM_ operation, the
// engine and the host's C++ API reach objects only through here. All functions ending in "Locked" need
// hostLock() held by the caller; nothing here calls out of the host while it is held.
#ifndef FMSIM_OBJECTS_H
#define FMSIM_OBJECTS_H

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "fmsim/calculation.h"
#include "fmsim/test_support.h"
#include "placement.h"
#include "value_model.h"

namespace fmsim {

struct HostObject {
  explicit HostObject(ObjectKind k) : kind(k) {}
  HostObject(const HostObject&) = delete;
  HostObject& operator=(const HostObject&) = delete;
  virtual ~HostObject() = default;
  // Objects, and the views inside them, live where the placement mode puts them (fmsim/placement.h).
  static void* operator new(size_t size) { return allocateObjectMemory(size); }
  static void operator delete(void* memory) { releaseObjectMemory(memory); }
  const ObjectKind kind;
  // Views and vector elements belong to another object: a plug-in may read them but neither change nor
  // delete them, and they are not counted as live objects of their own.
  const HostObject* owner = nullptr;
  // Made through an FM_ operation, that is by the plug-in, not by the host for its own work.
  bool pluginMade = false;
};

struct QuadCharObject : HostObject {
  QuadCharObject() : HostObject(ObjectKind::QuadChar) {}
  uint32_t value = 0;
};

struct FixPtObject : HostObject {
  FixPtObject() : HostObject(ObjectKind::FixPt) {}
  Decimal value;
  int32_t precision = kDefaultPrecision;
  // Keeps no more digits after the point than the precision allows.
  void set(const Decimal& v) { value = v.scale() > precision ? v.truncatedTo(precision) : v; }
};

struct TextObject : HostObject {
  TextObject() : HostObject(ObjectKind::Text) {}
  StyledText text;
};

struct ColorObject : HostObject {
  ColorObject() : HostObject(ObjectKind::Color) {}
  uint8_t red = 0, green = 0, blue = 0, alpha = 255;
};

struct StyleObject : HostObject {
  StyleObject() : HostObject(ObjectKind::CharacterStyle) {}
  CharStyle style;
};

struct LocaleObject : HostObject {
  LocaleObject() : HostObject(ObjectKind::Locale) {}
  std::string name = "system";
};

struct DateTimeObject : HostObject {
  DateTimeObject() : HostObject(ObjectKind::DateTime) {}
  int64_t micros = kMicrosPerDay;  // a new date-time is day 1 (0001-01-01) at midnight
};

struct BinaryObject : HostObject {
  BinaryObject() : HostObject(ObjectKind::BinaryData) {}
  std::vector<Stream> streams;
};

enum ViewBit : int { kTextView = 0, kNumberView, kDateView, kTimeStampView, kBinaryView, kLocaleView };

// A data value and its views. The views live inside the value, so their addresses stay put while it
// lives; each is registered as alive the first time it is handed out and refreshed whenever the value
// changes.
struct DataObject : HostObject {
  DataObject();
  Value value;
  TextObject textView;
  FixPtObject numberView;
  DateTimeObject dateView;
  DateTimeObject timeStampView;
  BinaryObject binaryView;
  LocaleObject locale;
  uint8_t handedOutViews = 0;  // bit per view, in the order above
  void refreshViews();
  HostObject* view(int bit);
};

// Replaces the value and brings every handed-out view up to date.
void setValueLocked(DataObject* data, Value value);

struct DataVectObject : HostObject {
  DataVectObject() : HostObject(ObjectKind::DataVect) {}
  std::vector<DataObject*> items;  // owned; deleted with the vector
};

struct ExprEnvObject : HostObject {
  ExprEnvObject() : HostObject(ObjectKind::ExprEnv) {}
  bool hasContext = false;
  HostContext context;
};

enum class Access : uint8_t {
  Read,    // reading any live object, views included
  Write,   // changing it: not a view or a vector element
  Delete,  // deleting it: not a view or a vector element
};

std::unique_lock<std::mutex> hostLock();

template <class T>
constexpr ObjectKind kindOf();
template <>
constexpr ObjectKind kindOf<QuadCharObject>() {
  return ObjectKind::QuadChar;
}
template <>
constexpr ObjectKind kindOf<FixPtObject>() {
  return ObjectKind::FixPt;
}
template <>
constexpr ObjectKind kindOf<TextObject>() {
  return ObjectKind::Text;
}
template <>
constexpr ObjectKind kindOf<ColorObject>() {
  return ObjectKind::Color;
}
template <>
constexpr ObjectKind kindOf<StyleObject>() {
  return ObjectKind::CharacterStyle;
}
template <>
constexpr ObjectKind kindOf<LocaleObject>() {
  return ObjectKind::Locale;
}
template <>
constexpr ObjectKind kindOf<DateTimeObject>() {
  return ObjectKind::DateTime;
}
template <>
constexpr ObjectKind kindOf<BinaryObject>() {
  return ObjectKind::BinaryData;
}
template <>
constexpr ObjectKind kindOf<DataObject>() {
  return ObjectKind::Data;
}
template <>
constexpr ObjectKind kindOf<DataVectObject>() {
  return ObjectKind::DataVect;
}
template <>
constexpr ObjectKind kindOf<ExprEnvObject>() {
  return ObjectKind::ExprEnv;
}

// While one lives on a thread, the objects registered there are the plug-in's (made by an FM_ operation).
class PluginMadeScope {
 public:
  PluginMadeScope();
  ~PluginMadeScope();
  PluginMadeScope(const PluginMadeScope&) = delete;
  PluginMadeScope& operator=(const PluginMadeScope&) = delete;

 private:
  bool outer_;
};

// Registers a new object alive (counted unless it has an owner). Takes it over even when it throws.
void registerLocked(std::unique_ptr<HostObject> object);
// Registers a view the first time it is handed out.
void registerViewLocked(DataObject* data, HostObject* view, int bit);
// Unregisters the object (with its views and elements) and keeps its memory in quarantine for a while,
// so that a new object does not take over the address of one just deleted.
void destroyLocked(HostObject* object);

template <class T>
T* createLocked(const HostObject* owner = nullptr) {
  auto object = std::make_unique<T>();
  object->owner = owner;
  T* raw = object.get();
  registerLocked(std::move(object));
  return raw;
}

// The live object at `address` if it is of `kind` and allows `access`; otherwise nothing, after
// recording a dead-object report for `operation`.
HostObject* findLocked(const void* address, ObjectKind kind, Access access, std::string_view operation);
template <class T>
T* findAsLocked(const void* address, Access access, std::string_view operation) {
  return static_cast<T*>(findLocked(address, kindOf<T>(), access, operation));
}

// Process-wide host context and the current-environment callback's failure code.
HostContext& hostContextLocked();
int16_t& currentEnvironmentFailureLocked();

std::string hexAddress(const void* address);

// Test-support state touched while an operation holds the lock.
void recordDeadObjectLocked(std::string_view operation, const void* address, std::string reason);
void clearDeadObjectReportsLocked();
void freeQuarantineLocked();
int64_t liveCountLocked(ObjectKind kind);
// "2 Text, 1 Data": the plug-in's own objects alive, by kind; empty when there are none.
std::string pluginLiveSummaryLocked();

}  // namespace fmsim

#endif  // FMSIM_OBJECTS_H
