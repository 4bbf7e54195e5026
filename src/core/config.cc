#include "core/config.h"

#include "core/thread_state.h"
#include "platform/env.h"
#include "platform/text.h"
#include "platform/workstation.h"

namespace tarn::core {

std::string GetRegValue(std::string_view key, std::string_view value_name) {
  std::optional<std::string> value = Env::Current().Registry().GetString(key, value_name);
  if (!value || value->size() + 1 > kRegValueBytes) return std::string();
  std::string_view text = TrimBlanks(*value);
  return std::string(text.substr(0, text.find('\0')));
}

std::string GetIstallPath(Edition edition) {
  return GetRegValue(VersionKey(edition) + "Install\\CurrentInstPath\\", "");
}

std::string GetLoginServer(std::string_view key, std::string_view sub_id) {
  std::string server;
  const std::string code = AsciiUpper(sub_id);
  // A code "occurs within" the list: pieces such as "S" or "" match too.
  if (std::string_view("PS,CR,CC,AS").find(code) != std::string_view::npos) {
    server = GetRegValue(key, "Server");
  } else {
    server = GetRegValue(std::string(key) + std::string(sub_id), "Server");
    if (server.empty()) server = GetRegValue(key, "Server");
  }
  return server.empty() ? Thread().computer_name : server;
}

std::string TarnConfigKey(Edition) { return Thread().reg_base + "Tarn\\"; }

std::string WorkstationSerial(Edition edition) {
  return FormatWorkstationSerial(GetRegValue(VersionKey(edition) + "GUID\\", ""), Thread().computer_name);
}

}  // namespace tarn::core
