#include "db/dialect.h"

#include <cctype>
#include <optional>

#include "platform/text.h"

namespace tarn::db {
namespace {

enum class Tk { kSpace, kComment, kWord, kQuotedName, kString, kNString, kNumber, kParam, kNParam, kPunct };

struct Token {
  Token(Tk k, std::string t) : kind(k), text(std::move(t)) {}
  Tk kind;
  std::string text;
  std::string suffix;  // added text that must not disturb later matching
};

bool IsWordStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '@' || c == '#'; }
bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '@' || c == '#' || c == '$';
}

Status Tokenize(std::string_view s, std::vector<Token>* out) {
  size_t i = 0;
  const size_t n = s.size();
  auto unterminated = [] { return Status::InvalidArgument("Unclosed quotation mark in statement"); };
  while (i < n) {
    const char c = s[i];
    const size_t start = i;
    if (std::isspace(static_cast<unsigned char>(c))) {
      while (i < n && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
      out->push_back({Tk::kSpace, std::string(s.substr(start, i - start))});
    } else if (c == '-' && i + 1 < n && s[i + 1] == '-') {
      while (i < n && s[i] != '\n') ++i;
      out->push_back({Tk::kComment, std::string(s.substr(start, i - start))});
    } else if (c == '/' && i + 1 < n && s[i + 1] == '*') {
      size_t end = s.find("*/", i + 2);
      if (end == std::string_view::npos) return Status::InvalidArgument("Missing end comment mark '*/'");
      i = end + 2;
      out->push_back({Tk::kComment, std::string(s.substr(start, i - start))});
    } else if (c == '\'' || ((c == 'N' || c == 'n') && i + 1 < n && s[i + 1] == '\'')) {
      const bool national = c != '\'';
      i += national ? 2 : 1;
      for (;;) {
        if (i >= n) return unterminated();
        if (s[i] == '\'') {
          if (i + 1 < n && s[i + 1] == '\'') {
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        ++i;
      }
      out->push_back({national ? Tk::kNString : Tk::kString, std::string(s.substr(start, i - start))});
    } else if ((c == 'N' || c == 'n') && i + 1 < n && s[i + 1] == '?') {
      i += 2;
      out->push_back({Tk::kNParam, "?"});
    } else if (c == '?') {
      ++i;
      out->push_back({Tk::kParam, "?"});
    } else if (c == '[' || c == '"') {
      const char close = c == '[' ? ']' : '"';
      size_t end = s.find(close, i + 1);
      if (end == std::string_view::npos) return unterminated();
      i = end + 1;
      out->push_back({Tk::kQuotedName, std::string(s.substr(start, i - start))});
    } else if (IsWordStart(c)) {
      while (i < n && IsWordChar(s[i])) ++i;
      out->push_back({Tk::kWord, std::string(s.substr(start, i - start))});
    } else if (std::isdigit(static_cast<unsigned char>(c)) ||
               (c == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
      while (i < n && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '.')) ++i;
      out->push_back({Tk::kNumber, std::string(s.substr(start, i - start))});
    } else if (static_cast<unsigned char>(c) >= 0x80) {
      // Non-ASCII letters in a name (a CJK alias, say) belong to the word.
      while (i < n && (static_cast<unsigned char>(s[i]) >= 0x80 || IsWordChar(s[i]))) ++i;
      out->push_back({Tk::kWord, std::string(s.substr(start, i - start))});
    } else {
      static constexpr std::string_view kTwo[] = {"<=", ">=", "<>", "!=", "!<", "!>", "||"};
      size_t len = 1;
      for (std::string_view op : kTwo) {
        if (s.substr(i, 2) == op) len = 2;
      }
      i += len;
      out->push_back({Tk::kPunct, std::string(s.substr(start, len))});
    }
  }
  return Status::OK();
}

bool IsWord(const Token& t, std::string_view w) { return t.kind == Tk::kWord && EqualsNoCase(t.text, w); }
bool IsPunct(const Token& t, std::string_view p) { return t.kind == Tk::kPunct && t.text == p; }
bool Insignificant(const Token& t) { return t.kind == Tk::kSpace || t.kind == Tk::kComment; }

// Index of the next significant token at or after `i`, or toks.size().
size_t Next(const std::vector<Token>& toks, size_t i) {
  while (i < toks.size() && Insignificant(toks[i])) ++i;
  return i;
}

// Index of the ')' matching the '(' at `open`, or toks.size().
size_t MatchingParen(const std::vector<Token>& toks, size_t open) {
  int depth = 0;
  for (size_t i = open; i < toks.size(); ++i) {
    if (IsPunct(toks[i], "(")) ++depth;
    if (IsPunct(toks[i], ")") && --depth == 0) return i;
  }
  return toks.size();
}

void Blank(std::vector<Token>& toks, size_t from, size_t to) {  // [from, to)
  for (size_t i = from; i < to && i < toks.size(); ++i) {
    toks[i].kind = Tk::kSpace;
    toks[i].text.clear();
  }
}

bool IsTableHint(std::string_view w) {
  static constexpr std::string_view kHints[] = {
      "nolock",  "rowlock",  "updlock", "holdlock", "readpast", "readuncommitted", "readcommitted",
      "tablock", "tablockx", "xlock",   "paglock",  "nowait",   "serializable",    "repeatableread"};
  for (std::string_view h : kHints) {
    if (EqualsNoCase(w, h)) return true;
  }
  return false;
}

// WITH ( hint [, hint ...] ) starting at `i`: the index past it, or nullopt.
std::optional<size_t> TableHintEnd(const std::vector<Token>& toks, size_t i) {
  if (!IsWord(toks[i], "with")) return std::nullopt;
  size_t j = Next(toks, i + 1);
  if (j >= toks.size() || !IsPunct(toks[j], "(")) return std::nullopt;
  bool want_hint = true;
  for (j = Next(toks, j + 1); j < toks.size(); j = Next(toks, j + 1)) {
    if (want_hint) {
      if (toks[j].kind != Tk::kWord || !IsTableHint(toks[j].text)) return std::nullopt;
    } else if (IsPunct(toks[j], ")")) {
      return j + 1;
    } else if (!IsPunct(toks[j], ",")) {
      return std::nullopt;
    }
    want_hint = !want_hint;
  }
  return std::nullopt;
}

std::string ConvertFormat(Flavor f, int style) {
  const bool pg = f == Flavor::kPostgres;
  switch (style) {
    case 120:
    case 20: return pg ? "YYYY-MM-DD HH24:MI:SS" : "%Y-%m-%d %H:%M:%S";
    case 121:
    case 21: return pg ? "YYYY-MM-DD HH24:MI:SS.MS" : "%Y-%m-%d %H:%M:%f";
    case 23: return pg ? "YYYY-MM-DD" : "%Y-%m-%d";
    case 112: return pg ? "YYYYMMDD" : "%Y%m%d";
    case 108:
    case 8: return pg ? "HH24:MI:SS" : "%H:%M:%S";
    default: return "";
  }
}

std::string Now(Flavor f) {
  return f == Flavor::kPostgres ? "LOCALTIMESTAMP(3)" : "strftime('%Y-%m-%d %H:%M:%f','now','localtime')";
}

// CONVERT(VarChar[(n)], expr, style) at `i` (the CONVERT word). Rewrites it
// in place; leaves other CONVERT forms to the backend.
Status RewriteConvert(std::vector<Token>& toks, size_t i, Flavor f) {
  size_t open = Next(toks, i + 1);
  if (open >= toks.size() || !IsPunct(toks[open], "(")) return Status::OK();
  size_t close = MatchingParen(toks, open);
  if (close >= toks.size()) return Status::InvalidArgument("Incorrect syntax near 'CONVERT'.");
  std::vector<size_t> commas;
  int depth = 0;
  for (size_t j = open + 1; j < close; ++j) {
    if (IsPunct(toks[j], "(")) ++depth;
    if (IsPunct(toks[j], ")")) --depth;
    if (depth == 0 && IsPunct(toks[j], ",")) commas.push_back(j);
  }
  if (commas.size() != 2) return Status::OK();
  size_t type = Next(toks, open + 1);
  if (type >= commas[0] || toks[type].kind != Tk::kWord) return Status::OK();
  std::string type_name = AsciiLower(toks[type].text);
  if (type_name != "varchar" && type_name != "nvarchar" && type_name != "char" && type_name != "nchar") {
    return Status::OK();
  }
  std::string length;
  size_t after_type = Next(toks, type + 1);
  if (after_type < commas[0] && IsPunct(toks[after_type], "(")) {
    size_t len_tok = Next(toks, after_type + 1);
    if (len_tok < commas[0] && toks[len_tok].kind == Tk::kNumber) length = toks[len_tok].text;
  }
  size_t style_tok = Next(toks, commas[1] + 1);
  if (style_tok >= close || toks[style_tok].kind != Tk::kNumber) return Status::OK();
  std::string fmt = ConvertFormat(f, std::atoi(toks[style_tok].text.c_str()));
  if (fmt.empty()) {
    return Status::InvalidArgument("CONVERT style " + toks[style_tok].text + " is not supported");
  }
  // expr stays where it is, between commas[0] and commas[1].
  std::string head, tail;
  if (f == Flavor::kPostgres) {
    head = "to_char(";
    tail = ", '" + fmt + "')";
  } else {
    head = "strftime('" + fmt + "', ";
    tail = ")";
  }
  if (!length.empty()) {
    head = "substr(" + head;
    tail += ", 1, " + length + ")";
  }
  Blank(toks, i, commas[0] + 1);
  toks[i] = {Tk::kPunct, head};
  Blank(toks, commas[1], close + 1);
  toks[commas[1]] = {Tk::kPunct, tail};
  return Status::OK();
}

// Appends NULLS FIRST/LAST to each item of the ORDER BY whose BY is at
// `by`, so that PostgreSQL sorts NULL as SQL Server does (lowest).
void FixNullOrder(std::vector<Token>& toks, size_t by) {
  int depth = 0;
  size_t last = by;  // last significant token of the current item
  bool has_nulls = false;
  auto finish = [&](size_t last_tok) {
    if (has_nulls || last_tok == by) return;
    toks[last_tok].suffix += IsWord(toks[last_tok], "desc") ? " NULLS LAST" : " NULLS FIRST";
  };
  for (size_t j = by + 1; j < toks.size(); ++j) {
    const Token& t = toks[j];
    if (Insignificant(t)) continue;
    if (IsPunct(t, "(")) ++depth;
    if (IsPunct(t, ")")) {
      if (depth == 0) break;
      --depth;
    }
    if (depth == 0) {
      if (IsPunct(t, ",")) {
        finish(last);
        last = by;
        has_nulls = false;
        continue;
      }
      if (IsWord(t, "limit") || IsWord(t, "offset") || IsWord(t, "for") || IsWord(t, "union") || IsWord(t, "option") ||
          IsPunct(t, ";")) {
        break;
      }
      if (IsWord(t, "nulls")) has_nulls = true;
    }
    last = j;
  }
  finish(last);
}

bool IsValidName(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  }
  return true;
}

std::string Unbracket(const Token& t) {
  if (t.kind == Tk::kQuotedName) return t.text.substr(1, t.text.size() - 2);
  return t.text;
}

// USE <catalog> and CREATE DATABASE <catalog>, which no backend but SQL
// Server takes as written.
bool CatalogCommand(const std::vector<Token>& toks, Translation* out, Status* status) {
  std::vector<const Token*> sig;
  for (const Token& t : toks) {
    if (!Insignificant(t) && !IsPunct(t, ";")) sig.push_back(&t);
  }
  const Token* name = nullptr;
  if (sig.size() == 2 && IsWord(*sig[0], "use")) {
    out->kind = Translation::Kind::kUse;
    name = sig[1];
  } else if (sig.size() == 3 && IsWord(*sig[0], "create") && IsWord(*sig[1], "database")) {
    out->kind = Translation::Kind::kCreateDatabase;
    name = sig[2];
  } else {
    return false;
  }
  out->catalog = Unbracket(*name);
  if (!IsValidName(out->catalog)) {
    *status = Status::InvalidArgument("Invalid catalog name '" + out->catalog + "'");
  }
  return true;
}

}  // namespace

bool IsValidCatalogName(std::string_view name) { return IsValidName(name); }

int CountPlaceholders(std::string_view sql) {
  std::vector<Token> toks;
  if (!Tokenize(sql, &toks).ok()) return -1;
  int n = 0;
  for (const Token& t : toks) n += t.kind == Tk::kParam || t.kind == Tk::kNParam;
  return n;
}

Status Translate(std::string_view sql, const Dialect& dialect, const std::vector<int>& list_sizes, Translation* out) {
  *out = Translation();
  std::vector<Token> toks;
  Status s = Tokenize(sql, &toks);
  if (!s.ok()) return s;
  Status cs;
  if (CatalogCommand(toks, out, &cs)) {
    out->sql = std::string(sql);  // SQL Server takes it as written
    return cs;
  }
  const Flavor f = dialect.flavor;
  const bool rewrite = f != Flavor::kTsql;

  // Pending LIMIT per paren depth, from a TOP at that depth.
  std::vector<std::string> limits(1);
  int depth = 0;
  size_t param = 0;
  int number = 0;
  for (size_t i = 0; i < toks.size(); ++i) {
    Token& t = toks[i];
    if (t.kind == Tk::kParam || t.kind == Tk::kNParam) {
      const bool national = t.kind == Tk::kNParam;
      const int size = param < list_sizes.size() ? list_sizes[param] : -1;
      ++param;
      auto one = [&] {
        out->national.push_back(national);
        return dialect.numbered_params ? "$" + std::to_string(++number) : std::string("?");
      };
      if (size < 0) {
        t.text = one();
      } else if (size == 0) {
        t.text = "NULL";
      } else {
        t.text.clear();
        for (int k = 0; k < size; ++k) t.text += (k ? "," : "") + one();
      }
      t.kind = Tk::kPunct;
      continue;
    }
    if (!rewrite) continue;
    switch (t.kind) {
      case Tk::kNString: t.text.erase(0, 1); break;
      case Tk::kQuotedName:
        if (f == Flavor::kPostgres) t.text = "\"" + AsciiLower(Unbracket(t)) + "\"";
        break;
      case Tk::kPunct:
        if (t.text == "(") {
          ++depth;
          limits.emplace_back();
        } else if (t.text == ")") {
          if (depth > 0) {
            if (!limits.back().empty()) t.text = " LIMIT " + limits.back() + ")";
            limits.pop_back();
            --depth;
          }
        }
        break;
      case Tk::kWord: {
        size_t j = Next(toks, i + 1);
        const bool call = j < toks.size() && IsPunct(toks[j], "(");
        if (auto end = TableHintEnd(toks, i)) {
          Blank(toks, i, *end);
          i = *end - 1;
        } else if (call && IsWord(t, "getdate")) {
          size_t close = MatchingParen(toks, j);
          Blank(toks, i + 1, close + 1);
          t = {Tk::kPunct, Now(f)};
        } else if (call && IsWord(t, "convert")) {
          s = RewriteConvert(toks, i, f);
          if (!s.ok()) return s;
          // The rewritten head is not a word; GETDATE() inside is still
          // ahead of us and gets rewritten on the way.
        } else if (call && IsWord(t, "isnull")) {
          t.text = f == Flavor::kPostgres ? "coalesce" : "ifnull";
        } else if (call && IsWord(t, "len")) {
          t.text = "length";
        } else if (IsWord(t, "select")) {
          size_t k = Next(toks, i + 1);
          if (k < toks.size() && (IsWord(toks[k], "distinct") || IsWord(toks[k], "all"))) k = Next(toks, k + 1);
          if (k < toks.size() && IsWord(toks[k], "top")) {
            size_t v = Next(toks, k + 1);
            size_t v_end = v + 1;
            if (v < toks.size() && IsPunct(toks[v], "(")) {
              v_end = MatchingParen(toks, v) + 1;
              v = Next(toks, v + 1);
            }
            if (v >= toks.size() || toks[v].kind != Tk::kNumber) {
              return Status::InvalidArgument("Incorrect syntax near 'TOP'.");
            }
            limits.back() = toks[v].text;
            Blank(toks, k, v_end);
          }
        } else if (IsWord(t, "union") && !limits.back().empty()) {
          return Status::InvalidArgument("TOP in a query joined by UNION is not supported");
        } else if (f == Flavor::kPostgres && IsWord(t, "order") && j < toks.size() && IsWord(toks[j], "by")) {
          FixNullOrder(toks, j);
        } else if (j < toks.size() && IsPunct(toks[j], ".")) {
          // catalog..table or catalog.dbo.table: the catalog is attached
          // (SQLite) or a schema (PostgreSQL), one level only.
          size_t k = j + 1;
          if (k < toks.size() && IsPunct(toks[k], ".")) {
            Blank(toks, k, k + 1);
          } else if (k + 1 < toks.size() && toks[k].kind == Tk::kWord && IsPunct(toks[k + 1], ".") &&
                     k + 2 < toks.size() && toks[k + 2].kind == Tk::kWord) {
            Blank(toks, k, k + 2);
          }
        }
        break;
      }
      default: break;
    }
  }
  if (param != list_sizes.size()) {
    return Status::InvalidArgument("Statement has " + std::to_string(param) + " placeholders but " +
                                   std::to_string(list_sizes.size()) + " values were bound");
  }
  if (!limits.front().empty()) {
    // Before a trailing ';' if there is one.
    size_t last = toks.size();
    while (last > 0 && (Insignificant(toks[last - 1]) || IsPunct(toks[last - 1], ";"))) --last;
    toks.insert(toks.begin() + static_cast<std::ptrdiff_t>(last), Token{Tk::kPunct, " LIMIT " + limits.front()});
  }
  out->single_row = limits.front() == "1";
  out->sql.reserve(sql.size() + 16);
  for (const Token& t : toks) {
    out->sql += t.text;
    out->sql += t.suffix;
  }
  return Status::OK();
}

std::string UpdatableTable(std::string_view sql) {
  std::vector<Token> toks;
  if (!Tokenize(sql, &toks).ok()) return "";
  size_t i = Next(toks, 0);
  if (i >= toks.size() || !IsWord(toks[i], "select")) return "";
  int depth = 0;
  size_t from = toks.size();
  for (size_t j = i + 1; j < toks.size(); ++j) {
    if (IsPunct(toks[j], "(")) ++depth;
    if (IsPunct(toks[j], ")")) --depth;
    if (depth == 0 && (IsWord(toks[j], "distinct") || IsWord(toks[j], "top"))) return "";
    if (depth == 0 && IsWord(toks[j], "from")) {
      from = j;
      break;
    }
  }
  size_t name = Next(toks, from + 1);
  if (name >= toks.size() || (toks[name].kind != Tk::kWord && toks[name].kind != Tk::kQuotedName)) return "";
  std::string table = toks[name].text;
  size_t j = name + 1;
  while (j + 1 < toks.size() && IsPunct(toks[j], ".")) {  // catalog..table, schema.table
    table += ".";
    ++j;
    if (IsPunct(toks[j], ".")) continue;
    if (toks[j].kind != Tk::kWord && toks[j].kind != Tk::kQuotedName) return "";
    table += toks[j++].text;
  }
  if (table.back() == '.') return "";
  j = Next(toks, j);
  if (j < toks.size()) {
    if (auto end = TableHintEnd(toks, j)) j = Next(toks, *end);
  }
  if (j < toks.size() && !IsWord(toks[j], "where") && !IsWord(toks[j], "order") && !IsPunct(toks[j], ";")) {
    return "";  // an alias, a join or a second table
  }
  for (; j < toks.size(); ++j) {
    if (IsPunct(toks[j], "(")) ++depth;
    if (IsPunct(toks[j], ")")) --depth;
    if (depth == 0 && (IsWord(toks[j], "union") || IsWord(toks[j], "group") || IsWord(toks[j], "having"))) {
      return "";
    }
  }
  return table;
}

}  // namespace tarn::db
