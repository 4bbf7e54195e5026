// Member tables of the public classes and invocation by member name with
// any-typed arguments: what a late-bound caller (the session host, a script,
// a C caller) goes through.
#ifndef TARN_PLATFORM_DISPATCH_H_
#define TARN_PLATFORM_DISPATCH_H_

#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "tarn/variant.h"

namespace tarn {

enum class MemberKind { kMethod, kPropertyGet, kPropertyLet };

enum class ParamType { kString, kInt16, kInt32, kBool, kDate, kVariant, kObject };

struct Param {
  const char* name;
  ParamType type;
  bool byref = false;
  bool optional = false;
};

// The arguments of one call, converted to their parameters' types on first
// access; in/out ones are written back to the caller's values afterwards.
class Frame {
 public:
  Frame(std::vector<Variant>& args, const std::vector<Param>& params);

  std::string& Str(size_t i);
  int16_t& I16(size_t i);
  int32_t& I32(size_t i);
  bool& Bool(size_t i);
  Date& Dt(size_t i);
  Variant& Var(size_t i);
  bool Given(size_t i) const { return i < args_.size(); }

  void WriteBack();

 private:
  using Slot = std::variant<std::monostate, std::string, int16_t, int32_t, bool, Date, Variant>;
  template <class T>
  T& Get(size_t i);

  std::vector<Variant>& args_;
  const std::vector<Param>& params_;
  std::vector<Slot> slots_;
};

struct Member {
  std::string name;
  MemberKind kind;
  std::vector<Param> params;
  std::function<Variant(Object& self, Frame& frame)> call;
};

class TypeInfo {
 public:
  TypeInfo(std::string name, std::vector<Member> members) : name_(std::move(name)), members_(std::move(members)) {}

  const std::string& name() const { return name_; }
  const std::vector<Member>& members() const { return members_; }
  // Names compare case-insensitively, as late binding does.
  const Member* Find(std::string_view name, MemberKind kind) const;
  bool HasName(std::string_view name) const;

 private:
  std::string name_;
  std::vector<Member> members_;
};

// Calls `name` on `self`. `args` are the caller's values; in/out arguments
// are updated in place. Throws ComError: 438 unknown member, 450 wrong
// number of arguments, 13/6/94 for values that do not convert, and whatever
// the member raises.
Variant Invoke(const TypeInfo& type, Object& self, std::string_view name, MemberKind kind, std::vector<Variant>& args);

}  // namespace tarn

#endif  // TARN_PLATFORM_DISPATCH_H_
