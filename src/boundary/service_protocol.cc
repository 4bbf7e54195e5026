#include "boundary/service_protocol.h"

#include <array>

#include "boundary/handshake.h"
#include "platform/text.h"

namespace tarn::boundary {

std::string ConnectLine(const std::string& identity, const std::string& sub, const std::string& task, bool admit) {
  return "Connect," + identity + "," + sub + (admit ? ",-1," : ",0,") + task + "," + std::string(kRequestTrailer);
}

std::string LogoutLine(const std::string& identity, const std::string& sub, const std::string& task) {
  return "Logout," + identity + "," + sub + ",0," + task + "," + std::string(kRequestTrailer);
}

std::string ExitLine(const std::string& identity, const std::string& sub) {
  return "Exit," + identity + "," + sub + ",0,0," + std::string(kRequestTrailer);
}

std::string ChangeYearLine(const std::string& identity, const std::string& sub) {
  return "ChangeYear," + identity + "," + sub + ",0,0," + std::string(kRequestTrailer);
}

std::string ListLine(const std::string& identity, const std::string& sub) {
  return "List," + identity + "," + sub + ",0,0," + std::string(kRequestTrailer);
}

std::string HostInfoLine(const std::string& identity) {
  return "HostInfo," + identity + ",,0,0," + std::string(kRequestTrailer);
}

std::string MapSubIdForEdition(const std::string& sub_id, bool is_group) {
  const std::string code = AsciiUpper(sub_id);
  if (is_group) {
    if (code == "PS") return "PG";
    if (code == "BM") return "BG";
    if (code == "DA") return "DG";
  } else if (code == "SG") {
    return "SF";
  }
  return sub_id;
}

std::string DecodeReplyBuffer(Sundry& sundry, const std::string& reply_buffer) {
  std::string plain =
      sundry.UnlockInfo(std::string(TrimBlanks(reply_buffer)), ReplyHandshake(sundry, CurrentProcessTriple()));
  return plain.substr(0, plain.find('\0'));
}

namespace {

constexpr size_t kFields = 6;

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
  if (f[5] != kRequestTrailer) {
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
  out->sub = AsciiUpper(f[2]);
  out->flag = std::string(f[3]);
  out->task = std::string(f[4]);
  return true;
}

}  // namespace tarn::boundary
