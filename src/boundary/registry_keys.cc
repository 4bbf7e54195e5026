#include "boundary/registry_keys.h"

#include "platform/env.h"
#include "platform/text.h"

namespace tarn::boundary {

std::string RegistryRoot(bool is_64bit) {
  return is_64bit ? "Software\\Wow6432Node\\ValeSoft\\WF\\" : "Software\\ValeSoft\\WF\\";
}

std::string VersionKey(std::string_view root, Edition edition) {
  return std::string(root) + VersionText(edition) + "\\";
}

std::string GetRegValue(std::string_view key, std::string_view value_name) {
  std::optional<std::string> value = Env::Current().Registry()->GetString(key, value_name);
  if (!value || value->size() + 1 > kRegValueBytes) return std::string();
  std::string_view text = TrimBlanks(*value);
  return std::string(text.substr(0, text.find('\0')));
}

std::string WorkstationSerial(std::string_view root, Edition edition, std::string_view computer_name) {
  std::string serial = GetRegValue(VersionKey(root, edition) + "GUID\\", "");
  if (serial.empty()) serial = "Auto-Windows-" + std::string(computer_name);
  return serial + std::string(computer_name) + "@" + std::to_string(Env::Current().SessionId().value_or(0));
}

}  // namespace tarn::boundary
