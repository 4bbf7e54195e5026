#include "platform/dispatch.h"

#include <strings.h>

#include "tarn/com_error.h"

namespace tarn {

Frame::Frame(std::vector<Variant>& args, const std::vector<Param>& params)
    : args_(args), params_(params), slots_(params.size()) {}

template <class T>
T& Frame::Get(size_t i) {
  Slot& slot = slots_.at(i);
  if (std::holds_alternative<std::monostate>(slot)) {
    const Variant none;
    const Variant& v = i < args_.size() ? args_[i] : none;
    if constexpr (std::is_same_v<T, std::string>) slot = v.IsEmpty() ? std::string() : v.ToString();
    if constexpr (std::is_same_v<T, int16_t>) slot = v.ToInt16();
    if constexpr (std::is_same_v<T, int32_t>) slot = v.ToInt32();
    if constexpr (std::is_same_v<T, bool>) slot = v.ToBool();
    if constexpr (std::is_same_v<T, Date>) slot = v.ToDate();
    if constexpr (std::is_same_v<T, Variant>) slot = v;
  }
  return std::get<T>(slot);
}

std::string& Frame::Str(size_t i) { return Get<std::string>(i); }
int16_t& Frame::I16(size_t i) { return Get<int16_t>(i); }
int32_t& Frame::I32(size_t i) { return Get<int32_t>(i); }
bool& Frame::Bool(size_t i) { return Get<bool>(i); }
Date& Frame::Dt(size_t i) { return Get<Date>(i); }
Variant& Frame::Var(size_t i) { return Get<Variant>(i); }

void Frame::WriteBack() {
  for (size_t i = 0; i < params_.size() && i < args_.size(); ++i) {
    if (!params_[i].byref) continue;
    std::visit(
        [&](auto& value) {
          using T = std::decay_t<decltype(value)>;
          if constexpr (!std::is_same_v<T, std::monostate>) args_[i] = Variant(value);
        },
        slots_[i]);
  }
}

const Member* TypeInfo::Find(std::string_view name, MemberKind kind) const {
  for (const Member& m : members_) {
    if (m.kind == kind && m.name.size() == name.size() && strncasecmp(m.name.data(), name.data(), name.size()) == 0) {
      return &m;
    }
  }
  return nullptr;
}

bool TypeInfo::HasName(std::string_view name) const {
  return Find(name, MemberKind::kMethod) || Find(name, MemberKind::kPropertyGet) ||
         Find(name, MemberKind::kPropertyLet);
}

Variant Invoke(const TypeInfo& type, Object& self, std::string_view name, MemberKind kind, std::vector<Variant>& args) {
  const Member* member = type.Find(name, kind);
  // A method called like a property (and the reverse) is the same member to
  // a late-bound caller.
  if (member == nullptr && kind == MemberKind::kMethod) member = type.Find(name, MemberKind::kPropertyGet);
  if (member == nullptr && kind == MemberKind::kPropertyGet) member = type.Find(name, MemberKind::kMethod);
  if (member == nullptr) {
    throw ComError(errnum::kNoSuchMember,
                   "Object doesn't support this property or method: " + type.name() + "." + std::string(name));
  }
  size_t required = 0;
  for (const Param& p : member->params) {
    if (!p.optional) ++required;
  }
  if (args.size() < required || args.size() > member->params.size()) {
    throw ComError(errnum::kWrongArgCount,
                   "Wrong number of arguments: " + member->name + " takes " +
                       (required == member->params.size()
                            ? std::to_string(required)
                            : std::to_string(required) + " to " + std::to_string(member->params.size())) +
                       ", got " + std::to_string(args.size()));
  }
  Frame frame(args, member->params);
  // Convert every given argument before the call, so that a bad value fails
  // the call before the member has changed anything.
  for (size_t i = 0; i < args.size(); ++i) {
    switch (member->params[i].type) {
      case ParamType::kString: frame.Str(i); break;
      case ParamType::kInt16: frame.I16(i); break;
      case ParamType::kInt32: frame.I32(i); break;
      case ParamType::kBool: frame.Bool(i); break;
      case ParamType::kDate: frame.Dt(i); break;
      case ParamType::kVariant:
      case ParamType::kObject: frame.Var(i); break;
    }
  }
  Variant result = member->call(self, frame);
  frame.WriteBack();
  return result;
}

}  // namespace tarn
