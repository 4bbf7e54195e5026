// A statement template in the T-SQL of the suite with a `?` placeholder for
// every inserted value (`N?` where the extended build writes a Unicode
// literal), and the values bound to it. Values are bound, never
// pasted into the SQL text, so no quote in an id can change a statement.
#ifndef TARN_DB_STATEMENT_H_
#define TARN_DB_STATEMENT_H_

#include <string>
#include <string_view>
#include <vector>

#include "tarn/variant.h"

namespace tarn::db {

class Statement {
 public:
  // `sql` must outlive the statement: templates are string literals, and a
  // connection caches its prepared form per template.
  explicit Statement(std::string_view sql) : sql_(sql) {}

  // Binds the next placeholder.
  Statement& Bind(Variant value) {
    values_.push_back(std::move(value));
    return *this;
  }
  // An in-list: the placeholder of "IN (?)" becomes one placeholder per
  // value. An empty list matches nothing.
  Statement& BindList(std::vector<Variant> values) {
    values_.push_back(Variant(Array{0, std::move(values)}));
    return *this;
  }
  // A value that the SQL treats as a number but that the caller holds as
  // text (a year, a task id used as a log id). Text that is not a number
  // fails the statement when it runs, as a syntax error would; NaN, an
  // infinity or a number beyond 2^53 (or beyond the double range) raises
  // ComError 6, Overflow.
  Statement& BindNumber(std::string_view text);

  std::string_view sql() const { return sql_; }
  const std::vector<Variant>& values() const { return values_; }
  // Set when a BindNumber value was not a number; Execute/Open then fail.
  const std::string& bind_error() const { return bind_error_; }

 private:
  std::string_view sql_;
  std::vector<Variant> values_;
  std::string bind_error_;
};

}  // namespace tarn::db

#endif  // TARN_DB_STATEMENT_H_
