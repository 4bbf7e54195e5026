#include "db/national.h"

#include <cctype>
#include <functional>
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

// One rewrite of each template, made on first use and kept for the
// process. Looked up by the template's text, with no copy of it.
class Rewrites {
 public:
  explicit Rewrites(std::string (*rewrite)(std::string_view)) : rewrite_(rewrite) {}

  std::string_view Of(std::string_view template_sql) {
    std::lock_guard lock(mu_);
    auto it = made_.find(template_sql);
    if (it == made_.end()) it = made_.emplace(std::string(template_sql), rewrite_(template_sql)).first;
    return it->second;
  }

 private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::string (*const rewrite_)(std::string_view);
  std::mutex mu_;
  std::unordered_map<std::string, std::string, Hash, std::equal_to<>> made_;
};

}  // namespace

std::string_view NationalTemplate(std::string_view template_sql) {
  static auto* national = new Rewrites(&Rewrite);  // for the process
  return national->Of(template_sql);
}

std::string_view PlainTemplate(std::string_view marked_sql) {
  static auto* plain = new Rewrites(&Unmark);  // for the process
  return plain->Of(marked_sql);
}

}  // namespace tarn::db
