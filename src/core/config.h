// Configuration read from the registry: the install path, the application
// server of a subsystem and the workstation serial, below this thread's
// registry root (core/thread_state.h).
#ifndef TARN_CORE_CONFIG_H_
#define TARN_CORE_CONFIG_H_

#include <string>
#include <string_view>

#include "tarn/edition.h"

namespace tarn::core {

// "<root><version>\" and "<root><version>\Login\" for the edition.
std::string VersionKey(Edition edition);
std::string LoginRegKey(Edition edition);

std::string GetIstallPath(Edition edition);

// The application server for `sub_id`: "Server" under key & code, else
// under key; the computer name when neither is set. PS, CR, CC and AS read
// the common value only.
std::string GetLoginServer(std::string_view key, std::string_view sub_id);

// The workstation serial of this thread's computer in the edition.
std::string WorkstationSerial(Edition edition);

}  // namespace tarn::core

#endif  // TARN_CORE_CONFIG_H_
