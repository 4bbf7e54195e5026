#include "suite/mgmt/request.h"

#include <array>

#include "platform/text.h"

namespace tarn::suite {
namespace {

constexpr size_t kFields = 6;
constexpr std::string_view kTrailer = "9801";

struct VerbName {
  std::string_view name;
  Verb verb;
};
constexpr VerbName kVerbs[] = {{"Connect", Verb::kConnect}, {"Logout", Verb::kLogout},
                               {"Exit", Verb::kExit},       {"ChangeYear", Verb::kChangeYear},
                               {"List", Verb::kList},       {"HostInfo", Verb::kHostInfo}};

}  // namespace

bool ParseServiceRequest(std::string_view line, ServiceRequest* out, std::string* reason) {
  std::array<std::string_view, kFields> f;
  size_t n = 0, start = 0;
  for (;;) {
    const size_t comma = line.find(',', start);
    if (n == kFields) {
      *reason = "malformed request: more than six fields";
      return false;
    }
    f[n++] = line.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  if (n != kFields) {
    *reason = "malformed request: expected six comma-separated fields";
    return false;
  }
  if (f[5] != kTrailer) {
    *reason = "malformed request: the last field must be 9801";
    return false;
  }
  const VerbName* verb = nullptr;
  for (const VerbName& v : kVerbs) {
    if (f[0] == v.name) verb = &v;
  }
  if (!verb) {
    *reason = "unknown command";
    return false;
  }
  if (verb->verb == Verb::kConnect && f[3] != "0" && f[3] != "-1") {
    *reason = "malformed request: the Connect flag must be 0 or -1";
    return false;
  }
  if (verb->verb != Verb::kHostInfo && f[1].empty()) {
    *reason = "malformed request: no client identity";
    return false;
  }
  if ((verb->verb == Verb::kConnect || verb->verb == Verb::kLogout) && f[4].empty()) {
    *reason = "malformed request: no task identifier";
    return false;
  }
  out->verb = verb->verb;
  out->identity = std::string(f[1]);
  out->sub = std::string(f[2]);
  out->sub = AsciiUpper(out->sub);
  out->flag = std::string(f[3]);
  out->task = std::string(f[4]);
  return true;
}

}  // namespace tarn::suite
