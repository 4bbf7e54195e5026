// The suite's registry conventions, read by the login component and by our
// stand-ins alike: the root of its keys, the version text of each edition,
// the 128-byte value read and the workstation serial.
#ifndef TARN_BOUNDARY_REGISTRY_KEYS_H_
#define TARN_BOUNDARY_REGISTRY_KEYS_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "tarn/edition.h"

namespace tarn::boundary {

// "Software\Wow6432Node\ValeSoft\WF\" on a 64-bit system, else
// "Software\ValeSoft\WF\".
std::string RegistryRoot(bool is_64bit);

// root & "V8.610\" (the extended edition: "V8.700\").
std::string VersionKey(std::string_view root, Edition edition);

// Values that do not fit into this many bytes, NUL included, do not read.
inline constexpr size_t kRegValueBytes = 128;

// A string value under HKEY_LOCAL_MACHINE, trimmed of blanks and cut at its
// first NUL; "" when the key or value is missing, not a string, or too long
// to read.
std::string GetRegValue(std::string_view key, std::string_view value_name);

// The identity of one client process towards the management service: the
// default value of VersionKey & "GUID\" (or "Auto-Windows-" & computer name
// when there is none), the computer name, "@" and the logon session number
// (0 when it cannot be had).
std::string WorkstationSerial(std::string_view root, Edition edition, std::string_view computer_name);

}  // namespace tarn::boundary

#endif  // TARN_BOUNDARY_REGISTRY_KEYS_H_
