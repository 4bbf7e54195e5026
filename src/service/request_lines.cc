#include "service/request_lines.h"

#include "platform/text.h"

namespace tarn::service {

std::string ConnectLine(const std::string& identity, const std::string& sub, const std::string& task, bool admit) {
  return "Connect," + identity + "," + sub + (admit ? ",-1," : ",0,") + task + ",9801";
}

std::string LogoutLine(const std::string& identity, const std::string& sub, const std::string& task) {
  return "Logout," + identity + "," + sub + ",0," + task + ",9801";
}

std::string ExitLine(const std::string& identity, const std::string& sub) {
  return "Exit," + identity + "," + sub + ",0,0,9801";
}

std::string ChangeYearLine(const std::string& identity, const std::string& sub) {
  return "ChangeYear," + identity + "," + sub + ",0,0,9801";
}

std::string ListLine(const std::string& identity, const std::string& sub) {
  return "List," + identity + "," + sub + ",0,0,9801";
}

std::string HostInfoLine(const std::string& identity) { return "HostInfo," + identity + ",,0,0" + ",9801"; }

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

}  // namespace tarn::service
