#include "platform/text.h"
#include "signon/completion.h"

#include <algorithm>
#include <cctype>

#include "core/config.h"
#include "core/login_parts.h"
#include "db/national.h"
#include "db/raise.h"
#include "db/recordset.h"
#include "platform/env.h"
#include "resources/error_codes.h"
#include "resources/error_state.h"
#include "service/service_calls.h"
#include "service/frm_timer.h"
#include "signon/connection_data.h"
#include "tarn/com_error.h"

namespace tarn::signon {
namespace {

// Opens `statement` and answers its first row's first column; `found` says
// whether there was a row. Statements go through one recordset that is
// closed before the next query, as the sign-on always did.
Variant First(db::Recordset& rs, const db::ConnectionPtr& conn, const db::Statement& statement, bool* found) {
  if (rs.State() == db::ObjectState::kOpen) rs.Close();
  db::RaiseIfFailed(rs.Open(statement, conn, db::CursorType::kUnspecified, db::LockType::kUnspecified));
  *found = !rs.Eof();
  return *found ? rs.Value(size_t{0}) : Variant();
}

// As First, but no row is an error: the field read at end of file.
Variant Required(db::Recordset& rs, const db::ConnectionPtr& conn, const db::Statement& statement) {
  bool found;
  First(rs, conn, statement, &found);
  return rs.Value(size_t{0});  // throws "no current record" when nothing came back
}

// An error while the database part runs: reported as 901 unless an error
// text is already pending; the connection opened for the sign-on is dropped.
void Fail(const db::ConnectionPtr& conn, const std::string& description) {
  if (resources::ThreadLastError().share_string.empty()) {
    resources::RecordRawError(resources::kUnknownLoginError,
                              resources::ResText(resources::res::kUnknownLoginError) + description);
  }
  if (conn) conn->Close();
}

// A member of the sub-login data, read by name.
Variant SubLoginMember(const Object& data, std::string_view member) {
  const auto* context = dynamic_cast<const boundary::ContextData*>(&data);
  if (context == nullptr) {
    throw ComError(errnum::kNoSuchMember, "Object doesn't support this property or method: " + std::string(member) +
                                              " of a " + data.TypeName());
  }
  return context->Get(member);
}

// The web-based modules hand their station name to the heartbeat.
void StartHeartbeat(core::LoginParts& s) {
  const std::string sub = AsciiUpper(s.identity.cSub_Id);
  const bool web = sub == "PO" || sub == "SO" || sub == "CO" || sub == "WH";
  service::StartHeartbeat(s.identity, s.connections, s.heartbeat, web ? s.identity.cWebClient : std::string());
}

}  // namespace

bool CompleteLogin(core::LoginParts& s, LoginArgs a, const Object* sub_login_data) {
  const bool extended = s.identity.edition == Edition::kExtended;

  // SC and OA, and every piece of that text (the empty code too), need
  // nothing from the database.
  if (std::string_view("SC,OA").find(a.sub_id) != std::string_view::npos) {
    StartHeartbeat(s);
    return true;
  }
  if (a.sub_id.size() > 2) a.sub_id = a.sub_id.substr(0, 2);
  if (a.sub_id.size() != 2) {
    resources::RecordError(resources::kBadSubsystemCode, resources::res::kInvalidateSubID);
    return false;
  }
  if (s.identity.ValeDbName.empty()) {
    resources::RecordError(resources::kNoAccountConnection, resources::res::kInvalidateToken);
    return false;
  }
  s.identity.cSub_Id = AsciiUpper(a.sub_id);
  if (!a.server.empty()) {
    s.identity.cServer = AsciiUpper(a.server);
  } else if (s.identity.cServer.empty()) {
    s.identity.cServer = AsciiUpper(core::GetLoginServer(core::LoginRegKey(s.identity.edition), a.sub_id));
  }
  if (!a.serial.empty()) {
    s.identity.cSerial = a.serial;
  } else if (s.identity.cSerial.empty()) {
    s.identity.cSerial = core::WorkstationSerial(s.identity.edition);
  }
  Date date = s.identity.CurDate;
  if (!a.date.empty()) date = Variant(a.date).ToDate();  // not a date: raised to the caller

  db::ConnectionPtr conn;
  try {
    conn = db::Connection::Create();
    db::RaiseIfFailed(conn->Open(s.identity.SysConnString, "", ""));
    auto rs = db::Recordset::Create();
    const bool admin = AsciiUpper(s.identity.cUserId) == "ADMIN";

    if (FormatDateTime(date) == "1899-01-01 00:00:00" && !(admin && s.identity.cSub_Id == "AA")) {
      bool found;
      Variant end = First(*rs, conn,
                          db::StatementIn(extended,
                                          "SELECT  dEnd FROM UA_Period WHERE cAcc_id = ? AND iYear = ? AND iid = 12 "
                                          "AND  (bIsDelete=0 or bisdelete is null)")
                              .Bind(std::string(TrimBlanks(s.identity.cAcc_Id)))
                              .BindNumber(s.identity.cIYear),
                          &found);
      if (found) date = end.ToDate();
    }

    int16_t month = 0;
    bool is_admin = false;
    if (!extended && !admin) {
      s.identity.cAccName =
          Required(*rs, conn,
                   db::Statement("SELECT cAcc_Name FROM UA_Account WHERE cAcc_Id = ?").Bind(s.identity.cAcc_Id))
              .ToStringOrEmpty();
      const int32_t year = Variant(s.identity.cIYear).ToInt32();
      const std::string day = FormatDay(date);
      bool found;
      Variant period =
          First(*rs, conn,
                db::Statement("SELECT iId FROM UA_Period WHERE cAcc_Id = ? AND iYear=? AND dBegin<=? AND dEnd>=?")
                    .Bind(s.identity.cAcc_Id)
                    .Bind(year)
                    .Bind(day)
                    .Bind(day),
                &found);
      month = found ? period.ToInt16() : int16_t{1};
      First(*rs, conn,
            db::Statement("SELECT cAuth_Id FROM UA_HoldAuth WHERE cAcc_Id = ? AND iYear=? AND cauth_id='Admin' AND "
                          "(cUser_Id =? or cuser_id in (select distinct cGroup_id from ua_role where cuser_id=?))")
                .Bind(s.identity.cAcc_Id)
                .Bind(year)
                .Bind(s.identity.cUserId)
                .Bind(s.identity.cUserId),
            &is_admin);
    } else if (extended) {
      month = s.identity.iMonth;
      is_admin = s.identity.IsAdmin;
    }

    std::string task_id = s.identity.TaskId;
    if (sub_login_data != nullptr) {
      s.identity.cSubName = SubLoginMember(*sub_login_data, "SubName").ToStringOrEmpty();
      task_id = SubLoginMember(*sub_login_data, "TaskId").ToStringOrEmpty();
    } else {
      s.identity.cSubName =
          Required(
              *rs, conn,
              db::StatementIn(extended, "SELECT cSub_Name FROM UA_SubSys WHERE cSub_Id = ?").Bind(s.identity.cSub_Id))
              .ToStringOrEmpty();
    }
    if (!extended) {
      s.identity.cUserName =
          Required(*rs, conn,
                   db::Statement("SELECT cUser_Name FROM UA_User WHERE cUser_Id = ?").Bind(s.identity.cUserId))
              .ToStringOrEmpty();
      const std::string data_server = DataServerName(s.identity.ValeDbName);
      s.identity.cDbServerSerial = service::SvcHostInfo(data_server, s.identity.cSerial);
      s.identity.cServerSerial = service::SvcHostInfo(s.identity.cServer, s.identity.cSerial);
      s.identity.SysPassword = DatabasePassword(s.identity.ValeDbName);
    }
    if (rs->State() == db::ObjectState::kOpen) rs->Close();

    s.identity.cSub_Id = AsciiUpper(a.sub_id);
    s.identity.CurDate = date;
    s.identity.iMonth = admin && !extended ? int16_t{0} : month;
    s.identity.IsAdmin = is_admin;
    s.identity.TaskId = task_id.empty() ? FormatNumber(Env::Current().Now().serial) : task_id;
    s.identity.ValeDbPath = AccountDbPath(s.identity.cAcc_Id, s.identity.cIYear);
    s.identity.ValeZtPath = AccountZtPath(s.identity.cAcc_Id, s.identity.cIYear);
    if (s.connections.SystemConnection && s.connections.SystemConnection != conn)
      s.connections.SystemConnection->Close();
    s.connections.SystemConnection = conn;
  } catch (const ComError& e) {
    Fail(conn, e.description());
    return false;
  } catch (const std::exception& e) {
    Fail(conn, e.what());
    return false;
  }
  StartHeartbeat(s);
  return true;
}

}  // namespace tarn::signon
