#include "db/national.h"

#include <mutex>
#include <string>
#include <unordered_map>

namespace tarn::db {
namespace {

std::string Rewrite(std::string_view sql) {
  std::string out;
  out.reserve(sql.size() + 16);
  for (size_t i = 0; i < sql.size(); ++i) {
    const char c = sql[i];
    const bool marked = !out.empty() && (out.back() == 'N' || out.back() == 'n');
    if (c == '?') {
      if (!marked) out.push_back('N');
      out.push_back('?');
    } else if (c == '\'') {
      if (!marked) out.push_back('N');
      // The literal as it stands, '' inside it included.
      const size_t start = i++;
      while (i < sql.size()) {
        if (sql[i] == '\'' && i + 1 < sql.size() && sql[i + 1] == '\'') {
          i += 2;
        } else if (sql[i] == '\'') {
          break;
        } else {
          ++i;
        }
      }
      out.append(sql.substr(start, i - start + (i < sql.size() ? 1 : 0)));
    } else {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace

std::string_view NationalTemplate(std::string_view template_sql) {
  static std::mutex mu;
  static auto* made = new std::unordered_map<std::string, std::string>;  // for the process
  std::lock_guard lock(mu);
  auto it = made->find(std::string(template_sql));
  if (it == made->end()) it = made->emplace(std::string(template_sql), Rewrite(template_sql)).first;
  return it->second;
}

}  // namespace tarn::db
