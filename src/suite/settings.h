// Settings of our stand-ins for the suite's outside components, below
// "Software\ValeSoft\WF\Tarn\" of HKEY_LOCAL_MACHINE (on a 64-bit system
// "Software\Wow6432Node\ValeSoft\WF\Tarn\"; the plain key is read too). Not
// read through the component's 128-byte reader: connection strings are long.
//
//   SystemDatabase    connection string of the system database
//   TokenKeyFile      file holding the key that seals sign-on tokens
//   TokenHours        how long a token is valid (default 12)
//   AppServer         application server handed to modules (default: this computer)
//   RightServer       management service host that watches sign-ons ("": this machine)
//   FileServer        description of the file server handed to modules
//   ServiceAddress    "host:port" of a running `tarn service` for this machine;
//                     unset: the embedded service
//   ServicePort       port of `tarn service` on other hosts (default 9801)
//   LeaseSeconds      how long an unconfirmed task is kept (default 180); at
//                     least twice HeartbeatSeconds
//   HeartbeatSeconds  how often stations confirm their tasks (default 60)
//   RpcTimeoutSeconds how long a service call may take (default 5)
#ifndef TARN_SUITE_SETTINGS_H_
#define TARN_SUITE_SETTINGS_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace tarn::suite {

inline constexpr std::string_view kSettingsKey = "Software\\ValeSoft\\WF\\Tarn\\";

std::string Setting(std::string_view name, std::string_view fallback = "");
int64_t SettingInt(std::string_view name, int64_t fallback);

}  // namespace tarn::suite

#endif  // TARN_SUITE_SETTINGS_H_
