// Configuration read from the registry: values, the install path, the
// application server of a subsystem and the workstation serial.
#ifndef TARN_CORE_CONFIG_H_
#define TARN_CORE_CONFIG_H_

#include <string>
#include <string_view>

#include "tarn/edition.h"

namespace tarn::core {

// Values that do not fit into this many bytes, NUL included, do not read.
inline constexpr size_t kRegValueBytes = 128;

// A string value under HKEY_LOCAL_MACHINE, trimmed; "" when the key or value
// is missing, not a string, or too long to read.
std::string GetRegValue(std::string_view key, std::string_view value_name);

std::string GetIstallPath(Edition edition);

// The application server for `sub_id`: "Server" under key & code, else
// under key; the computer name when neither is set. PS, CR, CC and AS read
// the common value only.
std::string GetLoginServer(std::string_view key, std::string_view sub_id);

// The key of our stand-in components' settings: see suite/settings.h.
std::string TarnConfigKey(Edition edition);

// GUID (or "Auto-Windows-" & computer name) & computer name & "@" & session.
std::string WorkstationSerial(Edition edition);

}  // namespace tarn::core

#endif  // TARN_CORE_CONFIG_H_
