#include "compact/login_type.h"

namespace tarn::compact {

const TypeInfo& LoginType() {
  using K = MemberKind;
  using P = ParamType;
  auto self = [](Object& o) -> CompactLogin& { return static_cast<LoginObject&>(o).login(); };
  static const TypeInfo type(
      "_Login",
      {
          {"Login",
           K::kMethod,
           {},
           [self](Object& o, Frame&) {
             self(o).Login();
             return Variant();
           }},
          {"StrTarnConn", K::kPropertyGet, {}, [self](Object& o, Frame&) { return Variant(self(o).StrTarnConn()); }},
          {"StrTarnConn",
           K::kPropertyLet,
           {{"vData", P::kString}},
           [self](Object& o, Frame& f) {
             self(o).set_StrTarnConn(f.Str(0));
             return Variant();
           }},
          {"StrConn", K::kPropertyGet, {}, [self](Object& o, Frame&) { return Variant(self(o).StrConn()); }},
          {"StrConn",
           K::kPropertyLet,
           {{"vData", P::kString}},
           [self](Object& o, Frame& f) {
             self(o).set_StrConn(f.Str(0));
             return Variant();
           }},
      });
  return type;
}

}  // namespace tarn::compact
