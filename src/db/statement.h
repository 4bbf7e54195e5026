// A statement template in the T-SQL of the suite with a `?` placeholder for
// every inserted value (`N?` where the extended build writes a Unicode
// literal), and the values bound to it. Values are bound, never
// pasted into the SQL text, so no quote in an id can change a statement.
#ifndef TARN_DB_STATEMENT_H_
#define TARN_DB_STATEMENT_H_

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tarn/variant.h"

namespace tarn::db {

// The values bound to a statement, in order. Most statements bind a few:
// those stay inside the object, so building a statement allocates nothing.
class BoundValues {
 public:
  void push_back(Variant value) {
    if (spilled_.empty() && size_ < kInline) {
      inline_[size_++] = std::move(value);
      return;
    }
    if (spilled_.empty()) {
      spilled_.reserve(2 * kInline);
      for (size_t i = 0; i < size_; ++i) spilled_.push_back(std::move(inline_[i]));
    }
    spilled_.push_back(std::move(value));
    ++size_;
  }
  std::span<const Variant> view() const { return {spilled_.empty() ? inline_.data() : spilled_.data(), size_}; }

 private:
  static constexpr size_t kInline = 4;
  std::array<Variant, kInline> inline_;
  std::vector<Variant> spilled_;  // all of them, once there are more
  size_t size_ = 0;
};

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
  std::span<const Variant> values() const { return values_.view(); }
  // Set when a BindNumber value was not a number; Execute/Open then fail.
  const std::string& bind_error() const { return bind_error_; }

 private:
  std::string_view sql_;
  BoundValues values_;
  std::string bind_error_;
};

}  // namespace tarn::db

#endif  // TARN_DB_STATEMENT_H_
