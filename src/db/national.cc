#include "db/national.h"

#include <cctype>
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

bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// An N that opens a placeholder or a literal, not the end of a name
// ("IN?" stays).
std::string Unmark(std::string_view sql) {
  std::string out;
  out.reserve(sql.size());
  bool in_literal = false;
  for (size_t i = 0; i < sql.size(); ++i) {
    const char c = sql[i];
    if (c == '\'') in_literal = !in_literal;
    const bool mark = !in_literal && (c == 'N' || c == 'n') && i + 1 < sql.size() &&
                      (sql[i + 1] == '?' || sql[i + 1] == '\'') && (i == 0 || !IsNameChar(sql[i - 1]));
    if (!mark) out.push_back(c);
  }
  return out;
}

// Each template's rewrite, made once and kept for the process.
std::string_view Derived(std::string_view template_sql, std::string (*rewrite)(std::string_view)) {
  static std::mutex mu;
  static auto* made = new std::unordered_map<std::string, std::string>;  // for the process
  std::lock_guard lock(mu);
  std::string key(1, rewrite == &Rewrite ? 'N' : 'P');
  key.append(template_sql);
  auto it = made->find(key);
  if (it == made->end()) it = made->emplace(std::move(key), rewrite(template_sql)).first;
  return it->second;
}

}  // namespace

std::string_view NationalTemplate(std::string_view template_sql) { return Derived(template_sql, &Rewrite); }

std::string_view PlainTemplate(std::string_view marked_sql) { return Derived(marked_sql, &Unmark); }

}  // namespace tarn::db
