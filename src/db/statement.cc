#include "db/statement.h"

#include <charconv>
#include <cmath>
#include <cstdint>

#include "platform/text.h"
#include "tarn/com_error.h"

namespace tarn::db {

Statement& Statement::BindNumber(std::string_view text) {
  const std::string_view s = TrimSpace(text);
  double value = 0;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (s.empty() || (ec != std::errc() && ec != std::errc::result_out_of_range) || ptr != s.data() + s.size()) {
    if (bind_error_.empty()) bind_error_ = "Incorrect syntax near '" + std::string(text) + "'.";
    values_.push_back(Variant(Null{}));
    return *this;
  }
  // A number no double holds (beyond its range, not a number, infinite) or
  // one past 2^53, where doubles no longer hold every whole number, would
  // not be the number written: a year or a log id that matches nothing, or
  // the wrong row.
  constexpr double kExact = 9007199254740992.0;  // 2^53
  if (ec == std::errc::result_out_of_range || !(std::fabs(value) <= kExact)) {
    throw ComError(errnum::kOverflow, "Overflow");
  }
  if (value >= INT32_MIN && value <= INT32_MAX && value == std::trunc(value)) {
    values_.push_back(Variant(static_cast<int32_t>(value)));
  } else {
    values_.push_back(Variant(value));
  }
  return *this;
}

}  // namespace tarn::db
