// The workstation serial that identifies one client process to the
// management service: the registered GUID (or "Auto-Windows-" and the
// computer name), the computer name, "@" and the logon session number.
#ifndef TARN_PLATFORM_WORKSTATION_H_
#define TARN_PLATFORM_WORKSTATION_H_

#include <string>
#include <string_view>

#include "platform/env.h"

namespace tarn {

inline std::string FormatWorkstationSerial(std::string_view guid, std::string_view computer) {
  std::string serial = guid.empty() ? "Auto-Windows-" + std::string(computer) : std::string(guid);
  return serial + std::string(computer) + "@" + std::to_string(Env::Current().SessionId().value_or(0));
}

}  // namespace tarn

#endif  // TARN_PLATFORM_WORKSTATION_H_
