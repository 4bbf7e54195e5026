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

bool RegisterLoginTask(const core::Identity& id, const core::Connections& c) {
  if (!c.SystemConnection) return false;
  db::Connection& conn = *c.SystemConnection;
  // The extended edition writes every string as a Unicode literal.
  auto Sql = [unicode = id.edition == Edition::kExtended](std::string_view sql) {
    return db::StatementIn(unicode, sql);
  };
  try {
    Run(conn, Sql("USE ValeSystem"));
    if (Rows(conn, Sql("SELECT top 1 cTaskId FROM UA_TaskLog with(nolock) WHERE cTaskId = ?").Bind(id.TaskId)).rows() ==
        0) {
      Run(conn, Sql("INSERT INTO UA_TaskLog with(rowlock) (cSub_Id,cSub_Name,cStation,dInTime,cTaskId,TaskState,"
                    "cAppServer) VALUES(?,?,?, CONVERT(VarChar, getdate(), 121) ,?,'0',?)")
                    .Bind(id.cSub_Id)
                    .Bind(id.cSubName)
                    .Bind(TaskLogStation(id))
                    .Bind(id.TaskId)
                    .Bind(id.cServerSerial));
    }
    if (AsciiUpper(id.cUserId) == "ADMIN" ||
        std::string_view("PS,SC").find(AsciiUpper(id.cSub_Id)) != std::string_view::npos) {
      return true;
    }
    if (Rows(conn,
             Sql("SELECT top 1 cTaskId FROM UA_Task with(nolock) WHERE cTaskId = ? AND cAuth_Id='reg'").Bind(id.TaskId))
            .rows() > 0) {
      Run(conn, Sql("DELETE FROM UA_Task with(rowlock) WHERE cTaskId = ? AND cAuth_Id='reg'").Bind(id.TaskId));
    }
    Run(conn, Sql("INSERT INTO UA_task with(rowlock)(cAcc_Id,iYear,cUser_Id,cAuth_Id,cStation,cTaskId,iLogId,"
                  "cSub_Id,cAppServer) VALUES(?,?,?,'reg',?,?,?,?,?)")
                  .Bind(id.cAcc_Id)
                  .BindNumber(id.cIYear)
                  .Bind(id.cUserId)
                  .Bind(TaskStation(id))
                  .Bind(id.TaskId)
                  .BindNumber(id.TaskId)
                  .Bind(id.cSub_Id)
                  .Bind(id.cServerSerial));
    if (Rows(conn, Sql("SELECT top 1  iLogId FROM UA_Log with(nolock) WHERE iLogId = ?").BindNumber(id.TaskId)).rows() >
        0) {
      Run(conn, Sql("update ua_log with(rowlock) set dOutTime=null WHERE iLogId = ?").BindNumber(id.TaskId));
    } else {
      Run(conn, Sql("INSERT INTO UA_log with(rowlock) VALUES(?,?,?,'reg',?,GETDATE(),NULL,?,?,0)")
                    .Bind(id.cAcc_Id)
                    .Bind(id.cSub_Id)
                    .Bind(id.cUserId)
                    .Bind(core::Thread().computer_name)
                    .BindNumber(id.TaskId)
                    .Bind(id.cIYear));
    }
    return true;
  } catch (const Failed&) {
    return false;
  } catch (const ComError&) {
    return false;
  }
}

}  // namespace tarn::tasks
