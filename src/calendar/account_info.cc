// GetAccInfo: the login object's information door. One index selects the
// answer: slots the caller keeps in the object, connection strings, the
// account set's master data, the users and groups that hold rights, and
// the per-subsystem dates and flags of UA_Account_Sub. Database errors
// reach the caller; an expected missing row answers false (or Null, -1 or
// no object, as each index says).
#include <string>
#include <vector>

#include "calendar/calendar.h"
#include "core/system_database.h"
#include "db/connection_string.h"
#include "db/national.h"
#include "db/raise.h"
#include "db/recordset.h"
#include "platform/text.h"
#include "signon/connection_data.h"
#include "tarn/com_error.h"
#include "tarn/login.h"

namespace tarn {
namespace {

using db::CursorType;
using db::LockType;
using db::Statement;

// The subsystems whose first-use dates need no account set.
bool ExemptFromAccount(const std::string& sub) {
  for (const char* code : {"MR", "CR", "PS", "RC", "CC", "RR"}) {
    if (sub == code) return true;
  }
  return false;
}

// The system connection's string without its catalog: the Initial Catalog
// items cut out of the text by the data layer's parser, the rest as
// written, so a server, user, password or path that holds "init" is no
// catalog, nor is a quoted value that holds a ';'. The extended edition
// derives it from the string its connection is opened with, so it needs
// no sign-on.
std::string BaseConnectionString(const core::Identity& id, const core::Connections& c) {
  std::string text;
  if (id.edition == Edition::kExtended) {
    text = id.SysConnString;
  } else if (c.SystemConnection) {
    text = c.SystemConnection->ConnectionString();
  } else {
    throw ComError(errnum::kObjectRequired, "Object variable not set: not signed on");
  }
  std::string base;
  if (db::ConnectionString::Without(text, "Initial Catalog", &base).ok()) return base;
  // No connection opens on it; the first INIT through its semicolon goes.
  const size_t init = AsciiUpper(text).find("INIT");
  if (init == std::string::npos) return text;
  const size_t semicolon = text.find(';', init);
  return text.erase(init, semicolon == std::string::npos ? std::string::npos : semicolon - init + 1);
}

// The extended edition writes every account-set, subsystem and user
// identifier as a Unicode literal, marked N? in the templates below; other
// strings stay plain.
Statement Sql(const core::Identity& id, std::string_view marked_sql) {
  return db::StatementMarked(id.edition == Edition::kExtended, marked_sql);
}

db::RecordsetPtr Open(const core::Identity& id, core::Connections& c, const Statement& st,
                      CursorType cursor = CursorType::kUnspecified, LockType lock = LockType::kUnspecified) {
  auto rs = db::Recordset::Create();
  db::RaiseIfFailed(rs->Open(st, core::InformationDb(id, c), cursor, lock));
  return rs;
}

// The recordset the caller owns: a clone that outlives ours.
Variant Handed(const db::RecordsetPtr& rs) {
  db::RecordsetPtr clone = rs->Clone();
  rs->Close();
  return Variant(ObjectPtr(clone));
}

std::vector<Variant> Column(const db::RecordsetPtr& rs) {
  std::vector<Variant> values;
  for (; !rs->Eof(); db::RaiseIfFailed(rs->MoveNext()))
    values.push_back(Variant(rs->Value(size_t{0}).ToStringOrEmpty()));
  return values;
}

// A new UA_Account_Sub row of the login year for `sub`.
void AddYearRow(const core::Identity& id, db::Recordset& rs, const std::string& sub) {
  db::RaiseIfFailed(rs.AddNew());
  db::RaiseIfFailed(rs.SetValue("cAcc_Id", Variant(id.cAcc_Id)));
  db::RaiseIfFailed(rs.SetValue("iYear", Variant(Variant(id.cIYear).ToInt16())));
  db::RaiseIfFailed(rs.SetValue("cSub_Id", Variant(sub)));
}

bool IsInteger16(const Variant& v) { return v.type() == Variant::Type::kInt16; }

// The column names of indexes 100 to 119.
const char* const kAccountColumns[] = {"iYear",     "iMonth",     "cAcc_Master", "cCurCode", "cCurName",
                                       "cUnitName", "cUnitAbbre", "cUnitAddr",   "cUnitZap", "cUnitTel",
                                       "cUnitFax",  "cUnitEMail", "cUnitTaxNo",  "cUnitLP",  "cFinKind",
                                       "cFinType",  "cEntType",   "cTradeKind",  "cFinType", "cFinKind"};

}  // namespace

bool calendar::Calendar::GetAccInfo(int32_t nIndex, Variant& vValue) {
  core::Identity& id = id_;  // the account id is filled in when empty
  core::Connections& c = connections_;
  core::AccountValues& values = values_;
  const std::string base = BaseConnectionString(id, c);  // before anything: no connection, no answer

  if (nIndex >= 0 && nIndex <= 9) {
    if (vValue.IsString()) values.UserValues[static_cast<size_t>(nIndex)] = vValue.ToString();
    return true;
  }
  if (nIndex >= 60 && nIndex <= 69) {
    vValue = Variant(values.UserValues[static_cast<size_t>(nIndex - 60)]);
    return true;
  }
  if (nIndex >= 100 && nIndex <= 119) {
    auto rs = Open(id, c, Sql(id, "SELECT * FROM UA_Account WHERE cAcc_Id = N?").Bind(id.cAcc_Id), CursorType::kStatic);
    if (rs->Eof()) return false;
    const Variant& value = rs->Value(kAccountColumns[nIndex - 100]);
    vValue = nIndex >= 118 && value.IsNull() ? Variant(std::string()) : value;
    return true;
  }

  switch (nIndex) {
    case 10: {
      if (!vValue.IsString()) return false;
      const std::string wanted = vValue.ToString();
      // Seven characters: the account set (3) and the year (4).
      std::vector<size_t> starts;
      for (size_t i = 0; i < wanted.size();) {
        starts.push_back(i);
        DecodeUtf8(wanted, &i);
      }
      if (starts.size() != 7) return false;
      const std::string acc = wanted.substr(0, starts[3]), year = wanted.substr(starts[3]);
      auto rs = Open(id, c,
                     Sql(id,
                         "SELECT count(*) FROM UA_Period INNER JOIN UA_Account ON "
                         "UA_Period.cAcc_Id=UA_Account.cAcc_Id WHERE (UA_Period.bIsDelete = 0 or "
                         "UA_Period.bIsDelete  is null) AND UA_Period.cAcc_Id =N? AND UA_Period.iYear=?")
                         .Bind(acc)
                         .BindNumber(year));
      if (rs->Eof() || rs->Value(size_t{0}).ToDouble() < 12) return false;
      vValue = Variant(base + ";INITIAL CATALOG=" + signon::AccountDatabaseName(acc, year));
      return true;
    }
    case 11: vValue = Variant(base); return true;
    case 120:
    case 121: {
      if (id.cAcc_Id.empty() || id.cIYear.empty()) return true;
      auto rs = Open(
          id, c,
          Sql(id, nIndex == 120 ? "select distinct ua_user.cUser_id ,ua_user.cUser_name,ua_user.cDept,(case when "
                                  "ua_holdauth.cAuth_id ='ADMIN' then  'ADMIN' else '' end) as cAuth_id from "
                                  "ua_holdauth inner join ua_user on (ua_holdauth.cuser_id=ua_user.cuser_id) where "
                                  "cacc_id=N? and ua_holdauth.iYear=? and iIsuser=1"
                                : "select distinct ua_group.cgroup_id ,ua_group.cgroup_name from ua_holdauth inner "
                                  "join ua_group on (ua_holdauth.cuser_id=ua_group.cgroup_id) where cacc_id=N? and "
                                  "ua_holdauth.iYear=? and iIsuser=0")
              .Bind(id.cAcc_Id)
              .Bind(id.cIYear),
          CursorType::kStatic);
      if (rs->Eof()) return false;
      vValue = Handed(rs);
      return true;
    }
    case 200: {
      if (id.cAcc_Id.empty()) {
        auto first = Open(id, c, Sql(id, "SELECT cAcc_Id FROM UA_Account WHERE NOT cAcc_Id is null"));
        if (first->Eof()) return false;
        id.cAcc_Id = first->Value(size_t{0}).ToStringOrEmpty();
      }
      if (id.cSub_Id.empty() || (!ExemptFromAccount(id.cSub_Id) && id.cAcc_Id.empty())) return false;
      if (vValue.type() != Variant::Type::kDate && !vValue.IsNull()) return false;
      auto rs = Open(id, c,
                     Sql(id, "SELECT * FROM UA_Account_Sub WHERE iYear = 9999 AND cAcc_id=N? AND cSub_Id=N?")
                         .Bind(id.cAcc_Id)
                         .Bind(id.cSub_Id),
                     CursorType::kStatic, LockType::kPessimistic);
      if (rs->Eof()) {
        db::RaiseIfFailed(rs->AddNew());
        db::RaiseIfFailed(rs->SetValue("cAcc_Id", Variant(id.cAcc_Id)));
        db::RaiseIfFailed(rs->SetValue("cSub_Id", Variant(AsciiUpper(id.cSub_Id))));
        db::RaiseIfFailed(rs->SetValue("iYear", Variant(int16_t{9999})));
      }
      db::RaiseIfFailed(rs->SetValue("dSubSysUsed", vValue));
      db::RaiseIfFailed(rs->Update());
      return true;
    }
    case 201:
    case 302: {
      if (!vValue.IsString()) vValue = Variant(id.cSub_Id);
      if (!ExemptFromAccount(id.cSub_Id) && (id.cSub_Id.empty() || id.cAcc_Id.empty())) return false;
      const bool first_use = nIndex == 201;
      db::RecordsetPtr rs =
          id.cAcc_Id.empty()
              ? Open(id, c,
                     Sql(id, first_use ? "SELECT dSubSysUsed FROM UA_Account_Sub WHERE iYear = 9999 AND cSub_Id=N?"
                                       : "SELECT dSubOriDate FROM UA_Account_Sub WHERE iYear = 9999 AND cSub_Id=N?")
                         .Bind(vValue.ToString()))
              : Open(id, c,
                     Sql(id, first_use ? "SELECT dSubSysUsed FROM UA_Account_Sub WHERE iYear = 9999 AND "
                                         "cAcc_id=N? AND cSub_Id=N?"
                                       : "SELECT dSubOriDate FROM UA_Account_Sub WHERE iYear = 9999 AND "
                                         "cAcc_id=N? AND cSub_Id=N?")
                         .Bind(id.cAcc_Id)
                         .Bind(vValue.ToString()));
      vValue = rs->Eof() ? Variant(Null{}) : rs->Value(size_t{0});
      return true;
    }
    case 202: {
      if (id.cSub_Id.empty() || id.cAcc_Id.empty() || !IsInteger16(vValue)) return false;
      auto rs = Open(id, c,
                     Sql(id, "SELECT * FROM UA_Account_Sub WHERE iYear = ? AND cAcc_id=N? AND cSub_Id=N?")
                         .BindNumber(id.cIYear)
                         .Bind(id.cAcc_Id)
                         .Bind(id.cSub_Id),
                     CursorType::kStatic, LockType::kPessimistic);
      if (rs->Eof()) AddYearRow(id, *rs, id.cSub_Id);
      db::RaiseIfFailed(rs->SetValue("iModiPeri", vValue));
      db::RaiseIfFailed(rs->Update());
      return true;
    }
    case 203: {
      if (id.cSub_Id.empty() || id.cAcc_Id.empty() || !(vValue.IsString() || IsInteger16(vValue))) return false;
      const std::string sub = vValue.IsString() ? vValue.ToString() : id.cSub_Id;
      auto rs = Open(id, c,
                     Sql(id, "SELECT iModiPeri FROM UA_Account_Sub WHERE iYear = ? AND cAcc_id=N? AND cSub_Id=N?")
                         .BindNumber(id.cIYear)
                         .Bind(id.cAcc_Id)
                         .Bind(sub));
      vValue = rs->Eof() ? Variant(int16_t{-1}) : rs->Value(size_t{0});
      return true;
    }
    case 204:
    case 205:
    case 206: {
      if (!vValue.IsString()) return false;
      auto rs = Open(id, c,
                     Sql(id, "SELECT * FROM UA_Account_sub WHERE cAcc_Id = N? AND iYear = ? AND cSub_Id = N?")
                         .Bind(id.cAcc_Id)
                         .BindNumber(id.cIYear)
                         .Bind(vValue.ToString()),
                     CursorType::kStatic, LockType::kPessimistic);
      if (nIndex == 204) {
        if (rs->Eof()) return false;
        const Variant& closing = rs->Value("bclosing");
        vValue = Variant(!closing.IsNull() && closing.ToBool());
        return true;
      }
      if (rs->Eof()) {
        if (nIndex == 206) return false;
        AddYearRow(id, *rs, vValue.ToString());
      }
      db::RaiseIfFailed(rs->SetValue("bclosing", Variant(nIndex == 205)));
      db::RaiseIfFailed(rs->Update());
      return true;
    }
    case 300: {
      std::string list;
      if (!id.cAcc_Id.empty() && !id.cIYear.empty()) {
        auto rs = Open(id, c,
                       Sql(id,
                           "select distinct cAuth_id from ua_holdauth where cacc_id=N? and ua_holdauth.iYear=?  "
                           "AND (cuser_id=N? or cuser_id in (select distinct cGroup_id from ua_role where "
                           "cuser_id=N?))  AND cauth_id like 'AS11%'")
                           .Bind(id.cAcc_Id)
                           .BindNumber(id.cIYear)
                           .Bind(id.cUserId)
                           .Bind(id.cUserId),
                       CursorType::kStatic);
        for (; !rs->Eof(); db::RaiseIfFailed(rs->MoveNext())) {
          const std::string code = rs->Value(size_t{0}).ToStringOrEmpty();
          list += (list.empty() ? "'" : ",'") + (code.size() >= 2 ? code.substr(code.size() - 2) : code) + "'";
        }
      }
      vValue = Variant(list);
      return true;
    }
    case 301: {
      if (id.cAcc_Id.empty() || id.cIYear.empty()) return true;
      auto holders = [&](int is_user) {
        return Column(Open(id, c,
                           Sql(id,
                               "select distinct cUser_id from ua_holdauth where cacc_id=N? and "
                               "ua_holdauth.iYear=? and iIsuser=?")
                               .Bind(id.cAcc_Id)
                               .Bind(id.cIYear)
                               .Bind(is_user)));
      };
      std::vector<Variant> users = holders(1);
      const std::vector<Variant> groups = holders(0);
      if (!groups.empty()) {
        const std::vector<Variant> members =
            users.empty()
                ? Column(Open(
                      id, c, Sql(id, "select distinct cUser_id from ua_role where cgroup_id in (N?)").BindList(groups)))
                : Column(Open(id, c,
                              Sql(id,
                                  "select distinct cUser_id from ua_role where cgroup_id in (N?) and cUser_id "
                                  "not in (N?)")
                                  .BindList(groups)
                                  .BindList(users)));
        users.insert(users.end(), members.begin(), members.end());
      }
      if (users.empty()) {
        vValue = Variant(ObjectPtr());
        return true;
      }
      auto rs = Open(id, c,
                     Sql(id, "select distinct cUser_id,cUser_Name from ua_user where cUser_id in (N?)").BindList(users),
                     CursorType::kStatic);
      vValue = rs->Eof() ? Variant(ObjectPtr()) : Handed(rs);
      return true;
    }
    default: return false;
  }
}

bool clsLogin::GetAccInfo(int32_t nIndex, Variant& vValue) {
  return calendar::Calendar(*state_).GetAccInfo(nIndex, vValue);
}

}  // namespace tarn
