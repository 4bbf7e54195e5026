#include "service/remote_exec.h"

#include <algorithm>
#include <cctype>

#include "boundary/registry_keys.h"
#include "core/config.h"
#include "core/login_parts.h"
#include "core/thread_state.h"
#include "platform/object_registry.h"
#include "platform/text.h"
#include "service/handshake.h"
#include "boundary/service_protocol.h"
#include "service/service_calls.h"
#include "boundary/suite.h"
#include "tarn/com_error.h"
#include "tarn/login.h"

namespace tarn {
namespace {

// The service subsystem code and task id of "LOGOUT,<id>,<sub>,<flag>,<task>":
// the third field and the text behind the fourth comma. Without a fourth
// comma the whole command is the task id.
void ParseLogout(const std::string& cmd, std::string* sub, std::string* task) {
  size_t comma[4];
  size_t from = 0;
  int found = 0;
  for (; found < 4; ++found) {
    const size_t at = cmd.find(',', from);
    if (at == std::string::npos) break;
    comma[found] = at;
    from = at + 1;
  }
  if (found < 3) {
    throw ComError(errnum::kInvalidCall, "Invalid procedure call or argument: LOGOUT needs <id>,<sub>,<flag>,<task>");
  }
  *sub = cmd.substr(comma[1] + 1, comma[2] - comma[1] - 1);
  *task = found == 4 ? cmd.substr(comma[3] + 1) : cmd;
}

}  // namespace

Variant service::RemoteExec(core::Identity& id, core::Connections& c, std::string& cCmd) {
  if (id.cServer.empty()) {
    id.cServer = boundary::GetRegValue(core::LoginRegKey(id.edition), "Server");
    if (id.cServer.empty()) id.cServer = core::Thread().computer_name;
  }
  const std::string& host = id.cServer;
  const std::string upper = AsciiUpper(cCmd);

  // The first word found anywhere in the text wins, in this order.
  if (upper.find("EXIT") != std::string::npos) {
    service::SvcExit(host, id.cSerial, boundary::MapSubIdForEdition(id.cSub_Id, id.IsGroupVer));
  } else if (upper.find("CHANGEYEAR") != std::string::npos) {
    service::SvcChangeYear(host, id.cSerial, id.cSub_Id);
  } else if (upper.find("LIST") != std::string::npos) {
    service::SvcList(host, id.cSerial, id.cSub_Id);
  } else if (upper.find("LOGOUT") != std::string::npos) {
    std::string sub, task;
    ParseLogout(cCmd, &sub, &task);
    service::SvcLogout(host, id.cSerial, sub, task);
  } else if (upper.find("CONNECTSTRING") != std::string::npos) {
    // Only a caller that names this client's identity after the access
    // word gets the connection string.
    if (upper.find("K7LANTERNQ" + AsciiUpper(id.cSerial)) == std::string::npos) {
      cCmd = "pass failed";
    } else {
      if (!c.LoginUI) c.LoginUI = ObjectRegistry::Global().CreateAs<boundary::LoginUI>(boundary::kLoginUiProgId);
      cCmd = c.LoginUI->GetDefaultConnstring(host + "\t" + std::to_string(service::ConnectStringHandshake()));
    }
  }
  return Variant();
}

Variant clsLogin::RemoteExec(std::string& cCmd) {
  return service::RemoteExec(state_->identity, state_->connections, cCmd);
}

}  // namespace tarn
