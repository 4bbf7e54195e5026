#include "core/release_sequence.h"

#include "db/national.h"
#include "resources/error_state.h"

namespace tarn::core {
namespace {

// Runs one step; a module that is going away must not be stopped by a
// broken connection or a missing component.
template <class F>
void Ignoring(F&& step) {
  try {
    step();
  } catch (...) {
  }
}

// The extended edition writes both strings as Unicode literals.
db::Statement DeleteLoginTask(const LoginState& s) {
  return db::StatementIn(s.edition == Edition::kExtended,
                         "DELETE FROM ValeSystem..UA_task with(rowlock) WHERE cTaskId=? AND cAuth_Id='reg'")
      .Bind(s.TaskId);
}

db::Statement CloseLoginLog(const LoginState& s) {
  return db::StatementIn(s.edition == Edition::kExtended,
                         "UPDATE UA_log with(rowlock) SET Success=1,dOutTime= GETDATE() WHERE iLogId=? AND "
                         "cAuth_Id='reg'")
      .BindNumber(s.TaskId);
}

}  // namespace

void RunReleaseSequence(LoginState& s) {
  ReleaseSignOn(s);
  resources::DropSharedObjects();
}

void ReleaseSignOn(LoginState& s) {
  if (s.SystemConnection) {
    db::Connection& conn = *s.SystemConnection;
    Ignoring([&] {
      if (conn.State() == db::ObjectState::kClosed) return;
      // A failed statement is ignored like a raised one: the next step runs.
      Ignoring([&] { (void)conn.Execute(DeleteLoginTask(s)); });
      Ignoring([&] { (void)conn.Execute(CloseLoginLog(s)); });
      conn.Close();
    });
    s.SystemConnection.reset();
  }
  if (s.DatabaseKit) {
    Ignoring([&] { s.DatabaseKit->oClose(); });
    s.DatabaseKit.reset();
  }
  if (s.HeartbeatTimer) {
    Ignoring([&] { s.HeartbeatTimer->Unload(); });
    s.HeartbeatTimer.reset();
  }
  if (!s.TokenBuilt && s.LoginUI) {
    Ignoring([&] { s.LoginUI->SubLogout(s.cSub_Id); });
    Ignoring([&] { s.LoginUI->ShutDown(); });
  }
}

}  // namespace tarn::core
