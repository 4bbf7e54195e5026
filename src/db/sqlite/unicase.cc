#include "db/sqlite/unicase.h"

#include <locale.h>
#include <sqlite3.h>
#include <wctype.h>

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

bool LikeAt(std::string_view p, size_t pi, std::string_view t, size_t ti, char32_t escape) {
  while (pi < p.size()) {
    size_t next = pi;
    char32_t pc = DecodeUtf8(p, &next);
    if (pc == '%') {
      while (next < p.size() && p[next] == '%') ++next;
      if (next == p.size()) return true;
      for (size_t k = ti; k <= t.size();) {
        if (LikeAt(p, next, t, k, escape)) return true;
        if (k == t.size()) break;
        DecodeUtf8(t, &k);
      }
      return false;
    }
    if (ti == t.size()) return false;
    char32_t tc = DecodeUtf8(t, &ti);
    if (pc == '_') {
      pi = next;
      continue;
    }
    if (escape && pc == escape && next < p.size()) pc = DecodeUtf8(p, &next);
    if (Fold(pc) != Fold(tc)) return false;
    pi = next;
  }
  return ti == t.size();
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
  return LikeAt(pattern, 0, text, 0, escape);
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
