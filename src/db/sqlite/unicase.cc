#include "db/sqlite/unicase.h"

#include <locale.h>
#include <sqlite3.h>
#include <wctype.h>

#include <vector>

#include "platform/text.h"

namespace tarn::db::sqlite {
namespace {

locale_t UnicodeLocale() {
  static locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return loc;
}

char32_t Fold(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  if (c >= kMalformedUtf8) return c;
  locale_t loc = UnicodeLocale();
  return loc ? static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), loc)) : c;
}

std::string Map(std::string_view s, bool upper) {
  std::string out;
  out.reserve(s.size());
  locale_t loc = UnicodeLocale();
  for (size_t i = 0; i < s.size();) {
    const size_t start = i;
    char32_t c = DecodeUtf8(s, &i);
    if (c >= kMalformedUtf8) {
      out.append(s.substr(start, i - start));
      continue;
    }
    if (c < 0x80) {
      if (upper && c >= 'a' && c <= 'z') c -= 32;
      if (!upper && c >= 'A' && c <= 'Z') c += 32;
    } else if (loc) {
      c = static_cast<char32_t>(upper ? towupper_l(static_cast<wint_t>(c), loc)
                                      : towlower_l(static_cast<wint_t>(c), loc));
    }
    AppendUtf8(c, &out);
  }
  return out;
}

// One step of a LIKE pattern: a run of '%', '_', or a character to match
// (escaped wildcards included), folded.
struct LikeToken {
  enum Kind { kAnyRun, kAnyOne, kChar } kind;
  char32_t c = 0;
};

std::vector<LikeToken> Tokens(std::string_view p, char32_t escape) {
  std::vector<LikeToken> out;
  for (size_t i = 0; i < p.size();) {
    char32_t c = DecodeUtf8(p, &i);
    if (escape && c == escape && i < p.size()) {
      out.push_back({LikeToken::kChar, Fold(DecodeUtf8(p, &i))});
    } else if (c == '%') {
      if (out.empty() || out.back().kind != LikeToken::kAnyRun) out.push_back({LikeToken::kAnyRun});
    } else if (c == '_') {
      out.push_back({LikeToken::kAnyOne});
    } else {
      out.push_back({LikeToken::kChar, Fold(c)});
    }
  }
  return out;
}

// Greedy, going back only to the last '%': whatever an earlier '%' could
// have taken, the last one can take as well. Time is at most pattern x
// text, where trying every split of every '%' grows exponentially with
// the number of them.
bool Match(const std::vector<LikeToken>& p, std::string_view text) {
  std::vector<char32_t> t;
  t.reserve(text.size());
  for (size_t i = 0; i < text.size();) t.push_back(Fold(DecodeUtf8(text, &i)));
  size_t pi = 0, ti = 0;
  size_t resume_p = std::string_view::npos, resume_t = 0;  // after the last '%', and where it stopped taking
  while (ti < t.size()) {
    if (pi < p.size() && p[pi].kind == LikeToken::kAnyRun) {
      resume_p = ++pi;
      resume_t = ti;
    } else if (pi < p.size() && (p[pi].kind == LikeToken::kAnyOne || p[pi].c == t[ti])) {
      ++pi;
      ++ti;
    } else if (resume_p != std::string_view::npos) {
      pi = resume_p;
      ti = ++resume_t;  // the last '%' takes one more character
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi].kind == LikeToken::kAnyRun) ++pi;
  return pi == p.size();
}

std::string_view TextArg(sqlite3_value* v) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
  return p ? std::string_view(p, static_cast<size_t>(sqlite3_value_bytes(v))) : std::string_view();
}

int CollationCallback(void*, int n1, const void* a, int n2, const void* b) {
  return CompareNoCase(std::string_view(static_cast<const char*>(a), static_cast<size_t>(n1)),
                       std::string_view(static_cast<const char*>(b), static_cast<size_t>(n2)));
}

void CaseFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  const bool upper = sqlite3_user_data(ctx) != nullptr;
  std::string out = Map(TextArg(argv[0]), upper);
  sqlite3_result_text(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

// like(pattern, text[, escape]): "text LIKE pattern".
void LikeFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
    return sqlite3_result_null(ctx);
  }
  char32_t escape = 0;
  if (argc == 3) {
    std::string_view e = TextArg(argv[2]);
    size_t i = 0;
    if (e.empty() || (escape = DecodeUtf8(e, &i), i != e.size())) {
      return sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
    }
  }
  sqlite3_result_int(ctx, Like(TextArg(argv[0]), TextArg(argv[1]), escape) ? 1 : 0);
}

}  // namespace

int CompareNoCase(std::string_view a, std::string_view b) {
  // Trailing blanks do not count, as SQL Server pads the shorter text.
  while (!a.empty() && a.back() == ' ') a.remove_suffix(1);
  while (!b.empty() && b.back() == ' ') b.remove_suffix(1);
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const auto ca = static_cast<unsigned char>(a[i]);
    const auto cb = static_cast<unsigned char>(b[j]);
    if (ca < 0x80 && cb < 0x80) {  // the common case, without decoding
      const int la = (ca >= 'A' && ca <= 'Z') ? ca + 32 : ca;
      const int lb = (cb >= 'A' && cb <= 'Z') ? cb + 32 : cb;
      if (la != lb) return la < lb ? -1 : 1;
      ++i;
      ++j;
      continue;
    }
    const char32_t fa = Fold(DecodeUtf8(a, &i));
    const char32_t fb = Fold(DecodeUtf8(b, &j));
    if (fa != fb) return fa < fb ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

std::string Upper(std::string_view s) { return Map(s, true); }
std::string Lower(std::string_view s) { return Map(s, false); }

bool Like(std::string_view pattern, std::string_view text, char32_t escape) {
  return Match(Tokens(pattern, escape), text);
}

int RegisterUnicase(sqlite3* db) {
  static int upper_tag;
  const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
  int rc = sqlite3_create_collation(db, kCollation, SQLITE_UTF8, nullptr, CollationCallback);
  if (rc == SQLITE_OK) rc = sqlite3_create_function(db, "upper", 1, flags, &upper_tag, CaseFunction, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_create_function(db, "lower", 1, flags, nullptr, CaseFunction, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_create_function(db, "like", 2, flags, nullptr, LikeFunction, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_create_function(db, "like", 3, flags, nullptr, LikeFunction, nullptr, nullptr);
  return rc;
}

}  // namespace tarn::db::sqlite
