// ADO connection strings: `key=value` items separated by ';', keys
// case-insensitive, values optionally quoted. The suite appends items to
// strings it was handed ("...;initial catalog=valesystem"), so a later item
// overrides an earlier one with the same key.
#ifndef TARN_DB_CONNECTION_STRING_H_
#define TARN_DB_CONNECTION_STRING_H_

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tarn/status.h"

namespace tarn::db {

class ConnectionString {
 public:
  // Fails on an unterminated quote, an item without '=' or an empty key,
  // with the text ADO gives for such strings.
  static Status Parse(std::string_view text, ConnectionString* out);

  // `text` without its items named `key` exactly (case aside), each cut
  // from its key through its ';' (or the end); the rest stays as written.
  // Fails as Parse does.
  static Status Without(std::string_view text, std::string_view key, std::string* out);

  // The value of the last item named `key` or one of its synonyms (see
  // Canonical), or "" when absent.
  std::string Get(std::string_view key) const;
  bool Has(std::string_view key) const;
  // The same, matching the key itself only (for strings handed on to an
  // ODBC driver, where "Database" and "Server" are the driver's own keys).
  std::string GetExact(std::string_view key) const;
  bool HasExact(std::string_view key) const;

  // The string again, for printing: the password shown as "****".
  std::string Masked() const;

  // Items as written, in order, duplicates included.
  const std::vector<std::pair<std::string, std::string>>& items() const { return items_; }

  // Folds the synonyms ADO providers accept ("Server", "Address" for Data
  // Source; "Database" for Initial Catalog; "UID", "User" for User ID;
  // "PWD" for Password) onto one name, lower-cased.
  static std::string Canonical(std::string_view key);

 private:
  // Where an item stands in the text: its key through its ';'.
  struct Span {
    size_t begin, end;
  };
  static Status Parse(std::string_view text, ConnectionString* out, std::vector<Span>* spans);
  const std::pair<std::string, std::string>* Find(std::string_view key, bool exact) const;

  std::vector<std::pair<std::string, std::string>> items_;  // key as written (trimmed), value
};

// The value as an ADO connection string item wants it to read back as
// written: double-quoted (inner quotes doubled) when a ';' would end the
// item, a leading quote would open one, or white space at an end would be
// trimmed away; as it is otherwise.
std::string QuoteValue(std::string_view value);

// The value as an ODBC connection string wants it: braced when it holds a
// character that would end or confuse the item.
std::string OdbcQuote(std::string_view value);

}  // namespace tarn::db

#endif  // TARN_DB_CONNECTION_STRING_H_
