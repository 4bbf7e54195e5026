// The extended build writes every string of its statements as a Unicode
// literal (N'...'). Its templates are the full build's with each value
// placeholder and each string literal marked national, derived once per
// template and kept for the process.
#ifndef TARN_DB_NATIONAL_H_
#define TARN_DB_NATIONAL_H_

#include <string_view>

#include "db/statement.h"

namespace tarn::db {

// `template_sql` with "?" as "N?" and '...' as N'...' (those already so
// stay). The text lives as long as the process.
std::string_view NationalTemplate(std::string_view template_sql);

// A statement of `template_sql`, national when `unicode` is set.
inline Statement StatementIn(bool unicode, std::string_view template_sql) {
  return Statement(unicode ? NationalTemplate(template_sql) : template_sql);
}

// `marked_sql` marks its own Unicode values, N? and N'...', where only some
// strings of a statement are Unicode (the identifiers, say): the extended
// build sends it as written, the full build without the marks. The text
// lives as long as the process.
std::string_view PlainTemplate(std::string_view marked_sql);

inline Statement StatementMarked(bool unicode, std::string_view marked_sql) {
  return Statement(unicode ? marked_sql : PlainTemplate(marked_sql));
}

}  // namespace tarn::db

#endif  // TARN_DB_NATIONAL_H_
