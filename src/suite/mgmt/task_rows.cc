#include "suite/mgmt/task_rows.h"

#include <algorithm>

#include "tarn/com_error.h"

namespace tarn::suite {
namespace {

constexpr char kRows[] = "SELECT cStation,cUser_Id,cAuth_Id,iLogId FROM UA_task with(nolock) WHERE cTaskId=?";
constexpr char kCloseLog[] =
    "UPDATE UA_log with(rowlock) SET Success=1,dOutTime=GETDATE() WHERE iLogId IN (?) AND dOutTime IS NULL";
constexpr char kDelete[] = "DELETE FROM UA_task with(rowlock) WHERE cTaskId=?";
// The login task's entry carries the task id as its log id: it is closed
// even when a release died between deleting the row and closing the entry.
constexpr char kCloseLoginLog[] =
    "UPDATE UA_log with(rowlock) SET Success=1,dOutTime=GETDATE() WHERE iLogId=? AND cAuth_Id='reg' AND dOutTime IS "
    "NULL";

bool IsNumber(const std::string& text) {
  Variant v(text);
  try {
    (void)v.ToDouble();
    return !text.empty();
  } catch (const ComError&) {
    return false;
  }
}

}  // namespace

Status ReleaseTaskRows(db::Connection& conn, const std::string& task_id, ReleasedTaskRows* out) {
  *out = ReleasedTaskRows();
  Status s = conn.BeginTrans();
  if (!s.ok()) return s;
  db::ResultSet rs;
  s = conn.Query(db::Statement(kRows).Bind(task_id), &rs);
  std::vector<Variant> log_ids;
  for (size_t r = 0; s.ok() && r < rs.rows(); ++r) {
    if (r == 0) {
      out->station = rs.at(r, 0).ToStringOrEmpty();
      out->user = rs.at(r, 1).ToStringOrEmpty();
    }
    std::string auth = rs.at(r, 2).ToStringOrEmpty();
    if (std::find(out->functions.begin(), out->functions.end(), auth) == out->functions.end()) {
      out->functions.push_back(std::move(auth));
    }
    if (!rs.at(r, 3).IsNull()) log_ids.push_back(rs.at(r, 3));
  }
  if (s.ok() && !log_ids.empty()) s = conn.Execute(db::Statement(kCloseLog).BindList(log_ids), &out->log_rows);
  if (s.ok() && IsNumber(task_id)) {
    int64_t closed = 0;
    s = conn.Execute(db::Statement(kCloseLoginLog).BindNumber(task_id), &closed);
    out->log_rows += closed;
  }
  if (s.ok()) s = conn.Execute(db::Statement(kDelete).Bind(task_id), &out->task_rows);
  if (!s.ok()) {
    (void)conn.RollbackTrans();  // the failure that ends the transaction is the one to report
    return s;
  }
  return conn.CommitTrans();
}

}  // namespace tarn::suite
