#include "signon/connection_data.h"

#include "platform/text.h"
#include "tarn/com_error.h"

namespace tarn::signon {

std::string DataServerName(std::string_view s) {
  const std::string u = AsciiUpper(s);
  const size_t p = u.find("SOURCE=");
  if (p == std::string::npos) {
    throw ComError(errnum::kInvalidCall, "The connection string names no data source (SOURCE=).");
  }
  const size_t q = u.find(';', p);
  if (q == std::string::npos) {
    throw ComError(errnum::kInvalidCall, "The data source of the connection string is not followed by ';'.");
  }
  return std::string(s.substr(p + 7, q - (p + 7)));
}

std::string DatabasePassword(std::string_view s) {
  const std::string u = AsciiUpper(s);
  const size_t w = u.find(";PASSWORD=");
  if (w == std::string::npos) return std::string();
  const size_t c = u.find(";INITIAL CATALOG=", w + 1);
  std::string password(c == std::string::npos ? s.substr(w + 10) : s.substr(w + 10, c - (w + 10)));
  if (password.size() >= 2 && password.front() == '"' && password.back() == '"') {
    password = password.substr(1, password.size() - 2);
    std::string unquoted;
    for (size_t i = 0; i < password.size(); ++i) {
      unquoted.push_back(password[i]);
      if (password[i] == '\'' && i + 1 < password.size() && password[i + 1] == '\'') ++i;
    }
    password = std::move(unquoted);
  }
  return password;
}

std::string AccountDatabaseName(std::string_view acc_id, std::string_view year) {
  if (acc_id.empty() || year.empty()) return std::string();
  return "VALEDATA_" + std::string(acc_id) + "_" + std::string(year);
}

std::string AccountDbPath(std::string_view acc_id, std::string_view year) { return AccountZtPath(acc_id, year) + "\\"; }

std::string AccountZtPath(std::string_view acc_id, std::string_view year) {
  return "\\ZT" + std::string(acc_id) + "\\" + std::string(year);
}

}  // namespace tarn::signon
