#include "db/sqlite/unicase.h"

#include <locale.h>
#include <sqlite3.h>
#include <wctype.h>

namespace tarn::db::sqlite {
namespace {

locale_t UnicodeLocale() {
  static locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return loc;
}

constexpr char32_t kInvalid = 0xFFFFFFFF;

// Decodes one code point; malformed bytes come back one at a time, marked.
char32_t Decode(std::string_view s, size_t* i) {
  const auto b0 = static_cast<unsigned char>(s[*i]);
  if (b0 < 0x80) {
    ++*i;
    return b0;
  }
  int len = b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC0 ? 2 : 0;
  if (len == 0 || *i + len > s.size()) {
    ++*i;
    return kInvalid - b0;
  }
  char32_t c = b0 & (0x7F >> len);
  for (int k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[*i + k]);
    if ((b & 0xC0) != 0x80) {
      ++*i;
      return kInvalid - b0;
    }
    c = (c << 6) | (b & 0x3F);
  }
  *i += len;
  return c;
}

void Encode(char32_t c, std::string* out) {
  if (c < 0x80) {
    *out += static_cast<char>(c);
  } else if (c < 0x800) {
    *out += static_cast<char>(0xC0 | (c >> 6));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out += static_cast<char>(0xE0 | (c >> 12));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (c >> 18));
    *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

char32_t Fold(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  if (c >= 0x110000) return c;  // a malformed byte
  locale_t loc = UnicodeLocale();
  return loc ? static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), loc)) : c;
}

std::string Map(std::string_view s, bool upper) {
  std::string out;
  out.reserve(s.size());
  locale_t loc = UnicodeLocale();
  for (size_t i = 0; i < s.size();) {
    const size_t start = i;
    char32_t c = Decode(s, &i);
    if (c >= 0x110000) {
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
    Encode(c, &out);
  }
  return out;
}

bool LikeAt(std::string_view p, size_t pi, std::string_view t, size_t ti, char32_t escape) {
  while (pi < p.size()) {
    size_t next = pi;
    char32_t pc = Decode(p, &next);
    if (pc == '%') {
      while (next < p.size() && p[next] == '%') ++next;
      if (next == p.size()) return true;
      for (size_t k = ti; k <= t.size();) {
        if (LikeAt(p, next, t, k, escape)) return true;
        if (k == t.size()) break;
        Decode(t, &k);
      }
      return false;
    }
    if (ti == t.size()) return false;
    char32_t tc = Decode(t, &ti);
    if (pc == '_') {
      pi = next;
      continue;
    }
    if (escape && pc == escape && next < p.size()) pc = Decode(p, &next);
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
    if (e.empty() || (escape = Decode(e, &i), i != e.size())) {
      return sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
    }
  }
  sqlite3_result_int(ctx, Like(TextArg(argv[0]), TextArg(argv[1]), escape) ? 1 : 0);
}

}  // namespace

int CompareNoCase(std::string_view a, std::string_view b) {
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
    const char32_t fa = Fold(Decode(a, &i));
    const char32_t fb = Fold(Decode(b, &j));
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
