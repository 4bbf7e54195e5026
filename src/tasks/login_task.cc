#include "tasks/login_task.h"

#include "core/thread_state.h"
#include "db/national.h"
#include "platform/text.h"
#include "tarn/com_error.h"
#include "tasks/stations.h"

namespace tarn::tasks {
namespace {

struct Failed {};

db::ResultSet Rows(db::Connection& conn, const db::Statement& statement) {
  db::ResultSet rows;
  if (!conn.Query(statement, &rows).ok()) throw Failed();
  return rows;
}

void Run(db::Connection& conn, const db::Statement& statement) {
  if (!conn.Execute(statement).ok()) throw Failed();
}

}  // namespace

bool RegisterLoginTask(core::LoginState& s) {
  if (!s.SystemConnection) return false;
  db::Connection& conn = *s.SystemConnection;
  // The extended edition writes every string as a Unicode literal.
  auto Sql = [unicode = s.edition == Edition::kExtended](std::string_view sql) {
    return db::StatementIn(unicode, sql);
  };
  try {
    Run(conn, Sql("USE ValeSystem"));
    if (Rows(conn, Sql("SELECT top 1 cTaskId FROM UA_TaskLog with(nolock) WHERE cTaskId = ?").Bind(s.TaskId)).rows() ==
        0) {
      Run(conn, Sql("INSERT INTO UA_TaskLog with(rowlock) (cSub_Id,cSub_Name,cStation,dInTime,cTaskId,TaskState,"
                    "cAppServer) VALUES(?,?,?, CONVERT(VarChar, getdate(), 121) ,?,'0',?)")
                    .Bind(s.cSub_Id)
                    .Bind(s.cSubName)
                    .Bind(TaskLogStation(s))
                    .Bind(s.TaskId)
                    .Bind(s.cServerSerial));
    }
    if (AsciiUpper(s.cUserId) == "ADMIN" ||
        std::string_view("PS,SC").find(AsciiUpper(s.cSub_Id)) != std::string_view::npos) {
      return true;
    }
    if (Rows(conn,
             Sql("SELECT top 1 cTaskId FROM UA_Task with(nolock) WHERE cTaskId = ? AND cAuth_Id='reg'").Bind(s.TaskId))
            .rows() > 0) {
      Run(conn, Sql("DELETE FROM UA_Task with(rowlock) WHERE cTaskId = ? AND cAuth_Id='reg'").Bind(s.TaskId));
    }
    Run(conn, Sql("INSERT INTO UA_task with(rowlock)(cAcc_Id,iYear,cUser_Id,cAuth_Id,cStation,cTaskId,iLogId,"
                  "cSub_Id,cAppServer) VALUES(?,?,?,'reg',?,?,?,?,?)")
                  .Bind(s.cAcc_Id)
                  .BindNumber(s.cIYear)
                  .Bind(s.cUserId)
                  .Bind(TaskStation(s))
                  .Bind(s.TaskId)
                  .BindNumber(s.TaskId)
                  .Bind(s.cSub_Id)
                  .Bind(s.cServerSerial));
    if (Rows(conn, Sql("SELECT top 1  iLogId FROM UA_Log with(nolock) WHERE iLogId = ?").BindNumber(s.TaskId)).rows() >
        0) {
      Run(conn, Sql("update ua_log with(rowlock) set dOutTime=null WHERE iLogId = ?").BindNumber(s.TaskId));
    } else {
      Run(conn, Sql("INSERT INTO UA_log with(rowlock) VALUES(?,?,?,'reg',?,GETDATE(),NULL,?,?,0)")
                    .Bind(s.cAcc_Id)
                    .Bind(s.cSub_Id)
                    .Bind(s.cUserId)
                    .Bind(core::Thread().computer_name)
                    .BindNumber(s.TaskId)
                    .Bind(s.cIYear));
    }
    return true;
  } catch (const Failed&) {
    return false;
  } catch (const ComError&) {
    return false;
  }
}

}  // namespace tarn::tasks
