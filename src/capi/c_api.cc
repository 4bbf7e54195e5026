// The C interface: handles over objects, variants converted both ways,
// members called through the objects' tables. Every entry point checks its
// handles against the live set, so a null, released or foreign pointer is
// an error answer, never a dereference.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>
#include <unordered_map>

#include "capi/class_table.h"
#include "capi/foreign.h"
#include "platform/dispatch.h"
#include "tarn/com_error.h"
#include "tarn/pump.h"
#include "tarn/tarn.h"

struct tarn_object {
  tarn::ObjectPtr object;
  const tarn::TypeInfo* type = nullptr;
  std::string type_name;
  // A handle of another of our libraries, created through the registry:
  // calls go to that library.
  const tarn::capi::ForeignLibrary* foreign_lib = nullptr;
  tarn_object* foreign = nullptr;
  // The object's thread: its timers run on that thread's pump and its
  // errors land in that thread's last-error state, so no other thread may
  // call it (the live set keeps the same, for checks before a dereference).
  std::thread::id owner;
};

struct tarn_factory {
  tarn::capi::ClassEntry entry;
};

namespace tarn::capi {
namespace {

constexpr int32_t kInternal = 51;  // "internal error"
constexpr int32_t kOutOfMemory = 7;

// Every handle and factory we gave out, with the thread each belongs to.
struct Live {
  std::mutex mu;
  std::unordered_map<const void*, std::thread::id> handles;
};

Live& live() {
  static Live* l = new Live;  // outlives every static destructor that might release
  return *l;
}

bool IsLive(const void* p) {
  if (!p) return false;
  std::lock_guard lock(live().mu);
  return live().handles.count(p) > 0;
}

void Track(const void* p, std::thread::id owner = std::this_thread::get_id()) {
  std::lock_guard lock(live().mu);
  live().handles.emplace(p, owner);
}

// False when `p` was not live (released twice, or never ours).
bool Untrack(const void* p) {
  std::lock_guard lock(live().mu);
  return live().handles.erase(p) > 0;
}

thread_local int32_t last_number = 0;
thread_local std::string last_description;

int Fail(int32_t number, std::string description) {
  last_number = number;
  last_description = std::move(description);
  return number;
}

// Runs `f`; a thrown error becomes the answer.
template <class F>
int Guarded(F f) {
  try {
    return f();
  } catch (const ComError& e) {
    return Fail(e.number() ? e.number() : kInternal, e.description());
  } catch (const std::bad_alloc&) {
    return Fail(kOutOfMemory, "Out of memory");
  } catch (const std::exception& e) {
    return Fail(kInternal, e.what());
  } catch (...) {
    return Fail(kInternal, "unexpected error");
  }
}

// A handle this thread may use. Looked up under the lock, so that a handle
// another thread is releasing is never dereferenced here.
void CheckHandle(tarn_object* object) {
  std::thread::id owner;
  {
    std::lock_guard lock(live().mu);
    auto it = object ? live().handles.find(object) : live().handles.end();
    if (it == live().handles.end()) {
      throw ComError(errnum::kObjectRequired, "Object variable not set (a null or released handle)");
    }
    owner = it->second;
  }
  if (owner != std::this_thread::get_id()) {
    throw ComError(TARN_WRONG_THREAD,
                   "The application called an interface that was marshalled for a different thread: an object "
                   "belongs to the thread that created it");
  }
}

tarn_object* NewHandle(ObjectPtr object, std::thread::id owner = std::this_thread::get_id()) {
  auto* h = new tarn_object;
  h->owner = owner;
  h->type = TypeOf(*object);
  h->type_name = h->type ? h->type->name() : object->TypeName();
  h->object = std::move(object);
  Track(h, owner);
  return h;
}

tarn_object* NewProxy(const ForeignLibrary* lib, tarn_object* foreign) {
  auto* h = new tarn_object;
  h->owner = std::this_thread::get_id();
  h->foreign_lib = lib;
  h->foreign = foreign;
  const char* name = lib->type_name(foreign);
  h->type_name = name ? name : "";
  Track(h);
  return h;
}

char* CopyText(std::string_view text) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (!copy) throw std::bad_alloc();
  std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  return copy;
}

void ToC(const Variant& v, tarn_variant* out);

void ArrayToC(const Array& a, tarn_variant* out) {
  tarn_array array{nullptr, static_cast<int32_t>(a.items.size()), a.lower_bound};
  if (!a.items.empty()) {
    array.items = static_cast<tarn_variant*>(std::calloc(a.items.size(), sizeof(tarn_variant)));
    if (!array.items) throw std::bad_alloc();
    for (size_t i = 0; i < a.items.size(); ++i) ToC(a.items[i], &array.items[i]);
  }
  out->type = TARN_ARRAY;
  out->value.array = array;
}

// Writes `v` into `out`, which holds nothing that needs freeing.
void ToC(const Variant& v, tarn_variant* out) {
  std::memset(out, 0, sizeof *out);
  switch (v.type()) {
    case Variant::Type::kEmpty: out->type = TARN_EMPTY; return;
    case Variant::Type::kNull: out->type = TARN_NULL; return;
    case Variant::Type::kInt16:
      out->type = TARN_I2;
      out->value.i2 = v.ToInt16();
      return;
    case Variant::Type::kInt32:
      out->type = TARN_I4;
      out->value.i4 = v.ToInt32();
      return;
    case Variant::Type::kDouble:
      out->type = TARN_R8;
      out->value.r8 = v.ToDouble();
      return;
    case Variant::Type::kDate:
      out->type = TARN_DATE;
      out->value.date = v.ToDate().serial;
      return;
    case Variant::Type::kBool:
      out->type = TARN_BOOL;
      out->value.boolean = v.ToBool() ? 1 : 0;
      return;
    case Variant::Type::kString:
      out->value.string = CopyText(v.ToString());
      out->type = TARN_STRING;
      return;
    case Variant::Type::kObject:
      if (ObjectPtr o = v.ToObject()) {
        out->value.object = NewHandle(std::move(o));
        out->type = TARN_OBJECT;
      } else {
        out->type = TARN_EMPTY;  // Nothing
      }
      return;
    case Variant::Type::kArray: ArrayToC(v.ToArray(), out); return;
  }
}

Variant FromC(const tarn_variant& v, int depth = 0) {
  switch (v.type) {
    case TARN_EMPTY: return Variant();
    case TARN_NULL: return Variant(Null{});
    case TARN_I2: return Variant(v.value.i2);
    case TARN_I4: return Variant(v.value.i4);
    case TARN_R8: return Variant(v.value.r8);
    case TARN_DATE: return Variant(Date{v.value.date});
    case TARN_BOOL: return Variant(v.value.boolean != 0);
    case TARN_STRING: return Variant(v.value.string ? std::string(v.value.string) : std::string());
    case TARN_OBJECT: {
      if (!v.value.object) return Variant(ObjectPtr());
      CheckHandle(v.value.object);
      if (v.value.object->foreign_lib) {
        throw ComError(errnum::kTypeMismatch, "An object of another library cannot be passed to this one");
      }
      return Variant(v.value.object->object);
    }
    case TARN_ARRAY: {
      const tarn_array& a = v.value.array;
      if (a.count < 0 || (a.count > 0 && !a.items)) throw ComError(errnum::kInvalidCall, "Array without its items");
      if (depth > 16) throw ComError(errnum::kInvalidCall, "Arrays nested too deeply");
      Array out;
      out.lower_bound = a.lower_bound;
      out.items.reserve(static_cast<size_t>(a.count));
      for (int32_t i = 0; i < a.count; ++i) out.items.push_back(FromC(a.items[i], depth + 1));
      return Variant(std::move(out));
    }
  }
  throw ComError(errnum::kTypeMismatch, "Unknown variant type " + std::to_string(static_cast<int>(v.type)));
}

// A foreign library's answer holds its own handles: each becomes a proxy
// of ours, so the caller only ever sees handles of the library it calls.
void AdoptForeign(const ForeignLibrary* lib, tarn_variant* v) {
  if (v->type == TARN_OBJECT && v->value.object) v->value.object = NewProxy(lib, v->value.object);
  if (v->type == TARN_ARRAY) {
    for (int32_t i = 0; i < v->value.array.count; ++i) AdoptForeign(lib, &v->value.array.items[i]);
  }
}

int ForeignFailure(const ForeignLibrary* lib, int rc) {
  if (rc == 0) return 0;
  const char* text = lib->error_description();
  return Fail(lib->error_number(), text ? text : "");
}

Variant Call(tarn_object* h, const char* member, MemberKind kind, std::vector<Variant>& args) {
  if (!member) throw ComError(errnum::kInvalidCall, "No member name");
  if (!h->type) {
    throw ComError(438, "Object doesn't support this property or method: " + h->type_name + "." + member);
  }
  return Invoke(*h->type, *h->object, member, kind, args);
}

}  // namespace
}  // namespace tarn::capi

using namespace tarn;        // NOLINT: the definitions of the C interface
using namespace tarn::capi;  // NOLINT

extern "C" {

void tarn_variant_init(tarn_variant* v) {
  if (v) std::memset(v, 0, sizeof *v);
}

void tarn_variant_clear(tarn_variant* v) {
  if (!v) return;
  switch (v->type) {
    case TARN_STRING: std::free(v->value.string); break;
    case TARN_OBJECT:
      if (v->value.object) (void)tarn_release(v->value.object);
      break;
    case TARN_ARRAY:
      if (v->value.array.items) {
        for (int32_t i = 0; i < v->value.array.count; ++i) tarn_variant_clear(&v->value.array.items[i]);
        std::free(v->value.array.items);
      }
      break;
    default: break;
  }
  std::memset(v, 0, sizeof *v);
}

void tarn_variant_set_null(tarn_variant* v) {
  if (!v) return;
  tarn_variant_clear(v);
  v->type = TARN_NULL;
}

void tarn_variant_set_i2(tarn_variant* v, int16_t value) {
  if (!v) return;
  tarn_variant_clear(v);
  v->type = TARN_I2;
  v->value.i2 = value;
}

void tarn_variant_set_i4(tarn_variant* v, int32_t value) {
  if (!v) return;
  tarn_variant_clear(v);
  v->type = TARN_I4;
  v->value.i4 = value;
}

void tarn_variant_set_r8(tarn_variant* v, double value) {
  if (!v) return;
  tarn_variant_clear(v);
  v->type = TARN_R8;
  v->value.r8 = value;
}

void tarn_variant_set_date(tarn_variant* v, double serial) {
  if (!v) return;
  tarn_variant_clear(v);
  v->type = TARN_DATE;
  v->value.date = serial;
}

void tarn_variant_set_bool(tarn_variant* v, int value) {
  if (!v) return;
  tarn_variant_clear(v);
  v->type = TARN_BOOL;
  v->value.boolean = value ? 1 : 0;
}

int tarn_variant_set_string(tarn_variant* v, const char* text) {
  if (!v) return Fail(errnum::kInvalidCall, "No variant");
  char* copy = static_cast<char*>(std::malloc(text ? std::strlen(text) + 1 : 1));
  if (!copy) return Fail(kOutOfMemory, "Out of memory");  // the variant stays as it was
  std::strcpy(copy, text ? text : "");
  tarn_variant_clear(v);
  v->type = TARN_STRING;
  v->value.string = copy;
  return 0;
}

int tarn_variant_set_array(tarn_variant* v, int32_t count, int32_t lower_bound) {
  if (!v) return Fail(errnum::kInvalidCall, "No variant");
  if (count < 0) return Fail(errnum::kInvalidCall, "An array cannot have fewer than no items");
  tarn_variant* items = nullptr;
  if (count > 0) {
    items = static_cast<tarn_variant*>(std::calloc(static_cast<size_t>(count), sizeof(tarn_variant)));
    if (!items) return Fail(kOutOfMemory, "Out of memory");  // the variant stays as it was
  }
  tarn_variant_clear(v);
  v->type = TARN_ARRAY;
  v->value.array = tarn_array{items, count, lower_bound};
  return 0;
}

int tarn_variant_set_object(tarn_variant* v, tarn_object* object) {
  return Guarded([&] {
    if (!v) throw ComError(errnum::kInvalidCall, "No variant");
    CheckHandle(object);
    // A proxy holds the one reference its library handed out.
    if (object->foreign_lib) {
      throw ComError(errnum::kInvalidCall, "An object of another library cannot be copied into a variant");
    }
    tarn_object* copy = NewHandle(object->object, object->owner);
    tarn_variant_clear(v);
    v->type = TARN_OBJECT;
    v->value.object = copy;
    return 0;
  });
}

int tarn_create(const char* prog_id, tarn_object** out) {
  return Guarded([&] {
    if (!out) throw ComError(errnum::kInvalidCall, "No place for the handle");
    *out = nullptr;
    if (!prog_id || !*prog_id) throw ComError(errnum::kInvalidCall, "No ProgID");
    if (std::optional<ClassEntry> served = FindClass(prog_id)) {
      *out = NewHandle(served->make());
      return 0;
    }
    std::string class_id;
    const ForeignLibrary* lib = nullptr;
    Status s = LoadServerOf(prog_id, &class_id, &lib);
    if (!s.ok()) throw ComError(errnum::kCannotCreate, "ActiveX component can't create object: " + s.message());
    tarn_factory* factory = nullptr;
    int rc = lib->get_class_object(class_id.c_str(), &factory);
    if (rc != 0) return ForeignFailure(lib, rc);
    tarn_object* foreign = nullptr;
    rc = lib->factory_create(factory, &foreign);
    (void)lib->factory_release(factory);
    if (rc != 0) return ForeignFailure(lib, rc);
    *out = NewProxy(lib, foreign);
    return 0;
  });
}

int tarn_invoke(tarn_object* object, const char* member, tarn_variant* args, int32_t argc, tarn_variant* result) {
  return Guarded([&] {
    CheckHandle(object);
    if (argc < 0 || (argc > 0 && !args)) throw ComError(errnum::kInvalidCall, "Arguments without their array");
    if (object->foreign_lib) {
      const ForeignLibrary* lib = object->foreign_lib;
      tarn_variant scratch{};
      const int rc = lib->invoke(object->foreign, member, args, argc, result ? result : &scratch);
      for (int32_t i = 0; i < argc; ++i) AdoptForeign(lib, &args[i]);
      AdoptForeign(lib, result ? result : &scratch);
      tarn_variant_clear(&scratch);
      return ForeignFailure(lib, rc);
    }
    std::vector<Variant> values;
    values.reserve(static_cast<size_t>(argc));
    for (int32_t i = 0; i < argc; ++i) values.push_back(FromC(args[i]));
    const std::vector<Variant> given = values;
    const Variant answer = Call(object, member, MemberKind::kMethod, values);
    // In/out arguments come back; the others stay the caller's as they are.
    for (int32_t i = 0; i < argc; ++i) {
      if (values[i] == given[i]) continue;
      tarn_variant fresh;
      ToC(values[i], &fresh);
      tarn_variant_clear(&args[i]);
      args[i] = fresh;
    }
    if (result) {
      tarn_variant fresh;
      ToC(answer, &fresh);
      tarn_variant_clear(result);
      *result = fresh;
    }
    return 0;
  });
}

int tarn_get(tarn_object* object, const char* property, tarn_variant* result) {
  return Guarded([&] {
    CheckHandle(object);
    if (!result) throw ComError(errnum::kInvalidCall, "No place for the value");
    if (object->foreign_lib) {
      const int rc = object->foreign_lib->get(object->foreign, property, result);
      AdoptForeign(object->foreign_lib, result);
      return ForeignFailure(object->foreign_lib, rc);
    }
    std::vector<Variant> none;
    const Variant value = Call(object, property, MemberKind::kPropertyGet, none);
    tarn_variant fresh;
    ToC(value, &fresh);
    tarn_variant_clear(result);
    *result = fresh;
    return 0;
  });
}

int tarn_set(tarn_object* object, const char* property, const tarn_variant* value) {
  return Guarded([&] {
    CheckHandle(object);
    if (!value) throw ComError(errnum::kInvalidCall, "No value");
    if (object->foreign_lib) {
      return ForeignFailure(object->foreign_lib, object->foreign_lib->set(object->foreign, property, value));
    }
    std::vector<Variant> args{FromC(*value)};
    (void)Call(object, property, MemberKind::kPropertyLet, args);
    return 0;
  });
}

const char* tarn_type_name(tarn_object* object) {
  if (!IsLive(object)) return nullptr;
  return object->type_name.c_str();
}

int tarn_release(tarn_object* object) {
  return Guarded([&] {
    CheckHandle(object);
    if (!Untrack(object))
      throw ComError(errnum::kObjectRequired, "Object variable not set (a null or released handle)");
    if (object->foreign_lib) (void)object->foreign_lib->release(object->foreign);
    delete object;
    return 0;
  });
}

int tarn_pump_messages(void) {
  int fired = 0;
  (void)Guarded([&] {
    fired = PumpMessages();
    return 0;
  });
  return fired;
}

int64_t tarn_millis_until_next_timer(void) { return MillisUntilNextTimer(); }

int tarn_timer_fd(void) { return TimerFileDescriptor(); }

int32_t tarn_error_number(void) { return last_number; }
const char* tarn_error_description(void) { return last_description.c_str(); }

int DllGetClassObject(const char* class_id, tarn_factory** out) {
  return Guarded([&] {
    if (!out) throw ComError(errnum::kInvalidCall, "No place for the factory");
    *out = nullptr;
    std::optional<ClassEntry> entry = class_id ? FindClass(class_id) : std::nullopt;
    if (!entry)
      throw ComError(errnum::kCannotCreate,
                     std::string("Class not served by this library: ") + (class_id ? class_id : ""));
    *out = new tarn_factory{std::move(*entry)};
    Track(*out);
    return 0;
  });
}

int tarn_factory_create(tarn_factory* factory, tarn_object** out) {
  return Guarded([&] {
    if (!IsLive(factory)) throw ComError(errnum::kObjectRequired, "A null or released factory");
    if (!out) throw ComError(errnum::kInvalidCall, "No place for the handle");
    *out = NewHandle(factory->entry.make());
    return 0;
  });
}

int tarn_factory_release(tarn_factory* factory) {
  return Guarded([&] {
    if (!Untrack(factory)) throw ComError(errnum::kObjectRequired, "A null or released factory");
    delete factory;
    return 0;
  });
}

int DllCanUnloadNow(void) {
  std::lock_guard lock(live().mu);
  return live().handles.empty() ? 0 : 1;
}

}  // extern "C"
