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
db::Statement DeleteLoginTask(const Identity& id) {
  return db::StatementIn(id.edition == Edition::kExtended,
                         "DELETE FROM ValeSystem..UA_task with(rowlock) WHERE cTaskId=? AND cAuth_Id='reg'")
      .Bind(id.TaskId);
}

db::Statement CloseLoginLog(const Identity& id) {
  return db::StatementIn(id.edition == Edition::kExtended,
                         "UPDATE UA_log with(rowlock) SET Success=1,dOutTime= GETDATE() WHERE iLogId=? AND "
                         "cAuth_Id='reg'")
      .BindNumber(id.TaskId);
}

}  // namespace

void RunReleaseSequence(LoginParts& s) {
  ReleaseSignOn(s);
  resources::DropSharedObjects();
}

void ReleaseSignOn(LoginParts& s) {
  if (s.connections.SystemConnection) {
    db::Connection& conn = *s.connections.SystemConnection;
    Ignoring([&] {
      if (conn.State() == db::ObjectState::kClosed) return;
      // A failed statement is ignored like a raised one: the next step runs.
      Ignoring([&] { (void)conn.Execute(DeleteLoginTask(s.identity)); });
      Ignoring([&] { (void)conn.Execute(CloseLoginLog(s.identity)); });
      conn.Close();
    });
    s.connections.SystemConnection.reset();
  }
  if (s.connections.DatabaseKit) {
    Ignoring([&] { s.connections.DatabaseKit->oClose(); });
    s.connections.DatabaseKit.reset();
  }
  if (s.heartbeat.HeartbeatTimer) {
    Ignoring([&] { s.heartbeat.HeartbeatTimer->Unload(); });
    s.heartbeat.HeartbeatTimer.reset();
  }
  if (!s.connections.TokenBuilt && s.connections.LoginUI) {
    Ignoring([&] { s.connections.LoginUI->SubLogout(s.identity.cSub_Id); });
    Ignoring([&] { s.connections.LoginUI->ShutDown(); });
  }
}

}  // namespace tarn::core
