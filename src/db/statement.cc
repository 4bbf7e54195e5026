#include "db/statement.h"

#include <charconv>

#include "platform/text.h"

namespace tarn::db {

Statement& Statement::BindNumber(std::string_view text) {
  const std::string_view s = TrimSpace(text);
  double value = 0;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (s.empty() || ec != std::errc() || ptr != s.data() + s.size()) {
    if (bind_error_.empty()) bind_error_ = "Incorrect syntax near '" + std::string(text) + "'.";
    values_.push_back(Variant(Null{}));
  } else if (value == static_cast<double>(static_cast<int32_t>(value))) {
    values_.push_back(Variant(static_cast<int32_t>(value)));
  } else {
    values_.push_back(Variant(value));
  }
  return *this;
}

}  // namespace tarn::db
