#include "core/config.h"

#include "boundary/registry_keys.h"
#include "core/thread_state.h"
#include "platform/text.h"

namespace tarn::core {

std::string VersionKey(Edition edition) { return boundary::VersionKey(Thread().reg_base, edition); }

std::string LoginRegKey(Edition edition) { return VersionKey(edition) + "Login\\"; }

std::string GetIstallPath(Edition edition) {
  return boundary::GetRegValue(VersionKey(edition) + "Install\\CurrentInstPath\\", "");
}

std::string GetLoginServer(std::string_view key, std::string_view sub_id) {
  std::string server;
  const std::string code = AsciiUpper(sub_id);
  // A code "occurs within" the list: pieces such as "S" or "" match too.
  if (std::string_view("PS,CR,CC,AS").find(code) != std::string_view::npos) {
    server = boundary::GetRegValue(key, "Server");
  } else {
    server = boundary::GetRegValue(std::string(key) + std::string(sub_id), "Server");
    if (server.empty()) server = boundary::GetRegValue(key, "Server");
  }
  return server.empty() ? Thread().computer_name : server;
}

std::string WorkstationSerial(Edition edition) {
  return boundary::WorkstationSerial(Thread().reg_base, edition, Thread().computer_name);
}

}  // namespace tarn::core
