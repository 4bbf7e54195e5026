#include "typelib/login_type.h"

#include "tarn/login.h"

namespace tarn::typelib {
namespace {

using K = MemberKind;
using P = ParamType;

clsLogin& Login(Object& o) { return static_cast<clsLogin&>(o); }

template <class F>
Member Get(const char* name, F f) {
  return Member{name, K::kPropertyGet, {}, [f](Object& o, Frame&) { return Variant(f(Login(o))); }};
}

template <class F>
Member GetObject(const char* name, F f) {
  return Member{name, K::kPropertyGet, {}, [f](Object& o, Frame&) { return Variant(ObjectPtr(f(Login(o)))); }};
}

std::vector<Member> FullMembers() {
  return {
      {"cWebClient",
       K::kPropertyLet,
       {{"vData", P::kString}},
       [](Object& o, Frame& f) {
         Login(o).set_cWebClient(f.Str(0));
         return Variant();
       }},
      Get("cServer", [](clsLogin& l) { return l.cServer(); }),
      {"cServer",
       K::kPropertyLet,
       {{"vData", P::kVariant}},
       [](Object& o, Frame& f) {
         Login(o).set_cServer(f.Var(0));
         return Variant();
       }},
      {"RemoteExec",
       K::kMethod,
       {{"cCmd", P::kString, true}},
       [](Object& o, Frame& f) { return Login(o).RemoteExec(f.Str(0)); }},
      Get("LanguageID", [](clsLogin& l) { return l.LanguageID(); }),
      Get("cUserPassWord", [](clsLogin& l) { return l.cUserPassWord(); }),
      GetObject("ValeSystemDb", [](clsLogin& l) { return l.ValeSystemDb(); }),
      Get("LogState", [](clsLogin& l) { return l.LogState(); }),
      Get("ShareString", [](clsLogin& l) { return l.ShareString(); }),
      Get("SysPassword", [](clsLogin& l) { return l.SysPassword(); }),
      Get("cSubName", [](clsLogin& l) { return l.cSubName(); }),
      Get("cAcc_Id", [](clsLogin& l) { return l.cAcc_Id(); }),
      {"cAcc_Id",
       K::kPropertyLet,
       {{"pCaccId", P::kString, true}},
       [](Object& o, Frame& f) {
         Login(o).set_cAcc_Id(f.Str(0));
         return Variant();
       }},
      Get("cAccName", [](clsLogin& l) { return l.cAccName(); }),
      Get("CurDate", [](clsLogin& l) { return l.CurDate(); }),
      Get("cIYear", [](clsLogin& l) { return l.cIYear(); }),
      Get("iMonth", [](clsLogin& l) { return l.iMonth(); }),
      Get("cUserId", [](clsLogin& l) { return l.cUserId(); }),
      Get("cUserName", [](clsLogin& l) { return l.cUserName(); }),
      Get("ValeDbName", [](clsLogin& l) { return l.ValeDbName(); }),
      Get("ValeDbPath", [](clsLogin& l) { return l.ValeDbPath(); }),
      Get("ValeZtPath", [](clsLogin& l) { return l.ValeZtPath(); }),
      Get("IsAdmin", [](clsLogin& l) { return l.IsAdmin(); }),
      Get("TaskId", [](clsLogin& l) { return l.TaskId(); }),
      {"ClearError",
       K::kMethod,
       {},
       [](Object& o, Frame&) {
         Login(o).ClearError();
         return Variant();
       }},
      {"GetNatureDate",
       K::kMethod,
       {{"iPeriod", P::kInt16, true}, {"dateBegin", P::kDate, true}, {"dateEnd", P::kDate, true}},
       [](Object& o, Frame& f) { return Variant(Login(o).GetNatureDate(f.I16(0), f.Dt(1), f.Dt(2))); }},
      {"GetPeriod",
       K::kMethod,
       {{"dCurDate", P::kDate}, {"iYear", P::kInt16, true}, {"iPeriod", P::kInt16, true}},
       [](Object& o, Frame& f) { return Variant(Login(o).GetPeriod(f.Dt(0), f.I16(1), f.I16(2))); }},
      {"Login",
       K::kMethod,
       {{"pSubId", P::kString, true},
        {"pAccId", P::kString, true, true},
        {"pYearId", P::kString, true, true},
        {"pUserId", P::kString, true, true},
        {"pPassword", P::kString, true, true},
        {"pDate", P::kString, true, true},
        {"cSrv", P::kString, true, true},
        {"cSerial", P::kString, true, true}},
       [](Object& o, Frame& f) {
         return Variant(Login(o).Login(f.Str(0), f.Str(1), f.Str(2), f.Str(3), f.Str(4), f.Str(5), f.Str(6), f.Str(7)));
       }},
      {"TaskExec",
       K::kMethod,
       {{"pAuth_id", P::kString, true}, {"bIsLock", P::kInt16, true}, {"iYear", P::kInt16, true, true}},
       [](Object& o, Frame& f) { return Variant(Login(o).TaskExec(f.Str(0), f.I16(1), f.I16(2))); }},
      {"ClosingStatus",
       K::kMethod,
       {{"nIndex", P::kInt16}, {"cSubId", P::kString}, {"iYear", P::kInt16}, {"bStateValue", P::kBool, true}},
       [](Object& o, Frame& f) { return Variant(Login(o).ClosingStatus(f.I16(0), f.Str(1), f.I16(2), f.Bool(3))); }},
      {"GetAccInfo",
       K::kMethod,
       {{"nIndex", P::kInt32}, {"vValue", P::kVariant, true}},
       [](Object& o, Frame& f) { return Variant(Login(o).GetAccInfo(f.I32(0), f.Var(1))); }},
      {"ShutDown",
       K::kMethod,
       {},
       [](Object& o, Frame&) {
         Login(o).ShutDown();
         return Variant();
       }},
      {"GetIstallPath", K::kMethod, {}, [](Object& o, Frame&) { return Variant(Login(o).GetIstallPath()); }},
      Get("cSerial", [](clsLogin& l) { return l.cSerial(); }),
      {"cSerial",
       K::kPropertyLet,
       {{"vData", P::kVariant}},
       [](Object& o, Frame& f) {
         Login(o).set_cSerial(f.Var(0));
         return Variant();
       }},
      Get("AuthString", [](clsLogin& l) { return l.AuthString(); }),
      {"AuthString",
       K::kPropertyLet,
       {{"vNewValue", P::kString}},
       [](Object& o, Frame& f) {
         Login(o).set_AuthString(f.Str(0));
         return Variant();
       }},
      Get("cServerSerial", [](clsLogin& l) { return l.cServerSerial(); }),
      Get("cDbServerSerial", [](clsLogin& l) { return l.cDbServerSerial(); }),
      Get("IsGroupVer", [](clsLogin& l) { return l.IsGroupVer(); }),
      Get("cSub_Id", [](clsLogin& l) { return l.cSub_Id(); }),
      {"TaskId",
       K::kPropertyLet,
       {{"pTaskId", P::kString, true}},
       [](Object& o, Frame& f) {
         Login(o).set_TaskId(f.Str(0));
         return Variant();
       }},
      {"ConstructLogin",
       K::kMethod,
       {{"UserToken", P::kString}},
       [](Object& o, Frame& f) { return Variant(Login(o).ConstructLogin(f.Str(0))); }},
      Get("DataSource", [](clsLogin& l) { return l.DataSource(); }),
      Get("cEmployeeId", [](clsLogin& l) { return l.cEmployeeId(); }),
      Get("LanguageRegion", [](clsLogin& l) { return l.LanguageRegion(); }),
      {"GetEndSubAuthID",
       K::kMethod,
       {{"pAuth_id", P::kString, true}},
       [](Object& o, Frame& f) { return Variant(Login(o).GetEndSubAuthID(f.Str(0))); }},
      {"GetLastErrorResID",
       K::kMethod,
       {},
       [](Object& o, Frame&) { return Variant(ObjectPtr(Login(o).GetLastErrorResID())); }},
      GetObject("ResSvr", [](clsLogin& l) { return l.ResSvr(); }),
      GetObject("ResFormat", [](clsLogin& l) { return l.ResFormat(); }),
      GetObject("ResLocalSvr", [](clsLogin& l) { return l.ResLocalSvr(); }),
      GetObject("ResLayoutSvr", [](clsLogin& l) { return l.ResLayoutSvr(); }),
  };
}

// The members that only the extended edition has, after the full ones.
std::vector<Member> ExtendedMembers() {
  std::vector<Member> members = FullMembers();
  std::vector<Member> extended = {
      GetObject("ValeCurrentDb", [](clsLogin& l) { return l.ValeCurrentDb(); }),
      {"GetFileServerInfo",
       K::kMethod,
       {{"fsInfo", P::kString, true}},
       [](Object& o, Frame& f) { return Variant(Login(o).GetFileServerInfo(f.Str(0))); }},
      Get("EntTypeID", [](clsLogin& l) { return l.EntTypeID(); }),
      GetObject("ValeSystemADODb", [](clsLogin& l) { return l.ValeSystemADODb(); }),
      {"LoginEx",
       K::kMethod,
       {{"pSubId", P::kString, true}, {"SSData", P::kVariant, true}},
       [](Object& o, Frame& f) {
         ObjectPtr data = f.Var(1).ToObject();
         return Variant(Login(o).LoginEx(f.Str(0), data));
       }},
      {"TaskExecEx",
       K::kMethod,
       {{"pAuth_id", P::kString, true},
        {"bIsLock", P::kInt16, true},
        {"iYear", P::kInt16, true, true},
        {"pAuthClassCode", P::kString, true, true}},
       [](Object& o, Frame& f) { return Variant(Login(o).TaskExecEx(f.Str(0), f.I16(1), f.I16(2), f.Str(3))); }},
      {"InternalConstructLogin",
       K::kMethod,
       {{"userToken", P::kString}, {"LoginUserData", P::kVariant, false, true}},
       [](Object& o, Frame& f) {
         return Variant(Login(o).InternalConstructLogin(f.Str(0), f.Given(1) ? f.Var(1).ToObject() : nullptr));
       }},
      {"ConstructLoginEx",
       K::kMethod,
       {{"userToken", P::kString}, {"LoginUserData", P::kVariant}},
       [](Object& o, Frame& f) { return Variant(Login(o).ConstructLoginEx(f.Str(0), f.Var(1).ToObject())); }},
      Get("ValeMetaName", [](clsLogin& l) { return l.ValeMetaName(); }),
      Get("dbServerName", [](clsLogin& l) { return l.dbServerName(); }),
      Get("userToken", [](clsLogin& l) { return l.userToken(); }),
      {"GetBindFsUser",
       K::kMethod,
       {{"fsUser", P::kString, true}},
       [](Object& o, Frame& f) { return Variant(Login(o).GetBindFsUser(f.Str(0))); }},
  };
  members.insert(members.end(), std::make_move_iterator(extended.begin()), std::make_move_iterator(extended.end()));
  return members;
}

}  // namespace

const TypeInfo& LoginType(Edition edition) {
  static const TypeInfo full("_clsLogin", FullMembers());
  static const TypeInfo extended("_clsLogin", ExtendedMembers());
  return edition == Edition::kFull ? full : extended;
}

const TypeInfo& ErrorResType() {
  auto self = [](Object& o) -> clsErrorRes& { return static_cast<clsErrorRes&>(o); };
  static const TypeInfo type(
      "clsErrorRes",
      {
          {"ResId", K::kPropertyGet, {}, [self](Object& o, Frame&) { return Variant(self(o).ResId()); }},
          {"ResId",
           K::kPropertyLet,
           {{"vData", P::kString}},
           [self](Object& o, Frame& f) {
             self(o).set_ResId(f.Str(0));
             return Variant();
           }},
          {"ResArg", K::kPropertyGet, {}, [self](Object& o, Frame&) { return Variant(self(o).ResArg()); }},
          {"ResArg",
           K::kPropertyLet,
           {{"vData", P::kVariant}},
           [self](Object& o, Frame& f) {
             self(o).set_ResArg(f.Var(0).ToArray());
             return Variant();
           }},
      });
  return type;
}

}  // namespace tarn::typelib
