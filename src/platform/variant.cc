#include "tarn/variant.h"

#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/text.h"
#include "tarn/com_error.h"

namespace tarn {
namespace {

[[noreturn]] void TypeMismatch() { throw ComError(errnum::kTypeMismatch, "Type mismatch"); }
[[noreturn]] void Overflow() { throw ComError(errnum::kOverflow, "Overflow"); }
[[noreturn]] void InvalidNull() { throw ComError(errnum::kInvalidNull, "Invalid use of Null"); }

namespace chrono = std::chrono;

// 1899-12-30, day 0 of the serial day numbers.
constexpr chrono::sys_days kSerialEpoch = chrono::year{1899} / chrono::December / 30;

int64_t SerialDayFromCivil(int y, int m, int d) {
  const chrono::sys_days day =
      chrono::year{y} / chrono::month{static_cast<unsigned>(m)} / chrono::day{static_cast<unsigned>(d)};
  return (day - kSerialEpoch).count();
}

chrono::year_month_day CivilFromSerialDay(int64_t serial_day) {
  return chrono::year_month_day{kSerialEpoch + chrono::days{serial_day}};
}

bool IsCivilDay(int y, int m, int d) {
  return (chrono::year{y} / chrono::month{static_cast<unsigned>(m)} / chrono::day{static_cast<unsigned>(d)}).ok();
}

// Reads 1 to `max` digits.
bool ReadInt(std::string_view s, size_t* pos, size_t max, int* out) {
  size_t start = *pos;
  int v = 0;
  while (*pos < s.size() && *pos - start < max && std::isdigit(static_cast<unsigned char>(s[*pos]))) {
    v = v * 10 + (s[*pos] - '0');
    ++*pos;
  }
  if (*pos == start) return false;
  *out = v;
  return true;
}

bool ParseTime(std::string_view s, size_t* pos, CivilTime* t) {
  if (!ReadInt(s, pos, 2, &t->hour) || *pos >= s.size() || s[*pos] != ':') return false;
  ++*pos;
  if (!ReadInt(s, pos, 2, &t->minute)) return false;
  if (*pos < s.size() && s[*pos] == ':') {
    ++*pos;
    if (!ReadInt(s, pos, 2, &t->second)) return false;
    if (*pos < s.size() && s[*pos] == '.') {  // fractions of a second are dropped
      ++*pos;
      int ignored;
      if (!ReadInt(s, pos, 9, &ignored)) return false;
    }
  }
  return t->hour < 24 && t->minute < 60 && t->second < 60;
}

bool ParseNumberText(std::string_view text, double* out) {
  std::string_view s = TrimSpace(text);
  if (s.empty()) return false;
  if (s.front() == '+') s.remove_prefix(1);
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), *out);
  return ec == std::errc() && ptr == s.data() + s.size() && std::isfinite(*out);
}

// Round half to even, as automation conversions to integers do.
double RoundBankers(double v) { return std::nearbyint(v); }

}  // namespace

Date DateFromCivil(const CivilTime& t) {
  const int64_t days = SerialDayFromCivil(t.year, t.month, t.day);
  const double frac = (t.hour * 3600.0 + t.minute * 60.0 + t.second) / 86400.0;
  // Before the epoch the fraction is added to the magnitude: -1.25 is
  // 1899-12-29 06:00.
  return Date{days < 0 ? static_cast<double>(days) - frac : static_cast<double>(days) + frac};
}

CivilTime CivilFromDate(Date d) {
  double whole = std::trunc(d.serial);
  double frac = std::fabs(d.serial - whole);
  int64_t seconds = std::llround(frac * 86400.0);
  if (seconds >= 86400) {  // rounding carried into the next day
    seconds -= 86400;
    whole += d.serial < 0 ? -1 : 1;
  }
  CivilTime t;
  const chrono::year_month_day ymd = CivilFromSerialDay(static_cast<int64_t>(whole));
  t.year = static_cast<int>(ymd.year());
  t.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  t.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  t.hour = static_cast<int>(seconds / 3600);
  t.minute = static_cast<int>(seconds / 60 % 60);
  t.second = static_cast<int>(seconds % 60);
  return t;
}

bool ParseDateText(std::string_view text, Date* out) {
  std::string_view s = TrimSpace(text);
  if (s.empty()) return false;
  CivilTime t;
  size_t pos = 0;
  const size_t colon = s.find(':');
  const size_t sep = s.find_first_of("-/");
  if (colon != std::string_view::npos && (sep == std::string_view::npos || colon < sep)) {
    if (!ParseTime(s, &pos, &t) || pos != s.size()) return false;
    *out = DateFromCivil(t);
    return true;
  }
  if (sep == std::string_view::npos) {
    // YYYYMMDD
    if (s.size() != 8) return false;
    for (char c : s) {
      if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    }
    t.year = (s[0] - '0') * 1000 + (s[1] - '0') * 100 + (s[2] - '0') * 10 + (s[3] - '0');
    t.month = (s[4] - '0') * 10 + (s[5] - '0');
    t.day = (s[6] - '0') * 10 + (s[7] - '0');
    pos = 8;
  } else {
    const char sepc = s[sep];
    if (sep != 4 || !ReadInt(s, &pos, 4, &t.year) || pos != 4) return false;
    ++pos;
    if (!ReadInt(s, &pos, 2, &t.month) || pos >= s.size() || s[pos] != sepc) return false;
    ++pos;
    if (!ReadInt(s, &pos, 2, &t.day)) return false;
  }
  if (t.year < 100 || t.month < 1 || t.month > 12 || !IsCivilDay(t.year, t.month, t.day)) {
    return false;
  }
  if (pos < s.size()) {
    if (s[pos] != ' ' && s[pos] != 'T') return false;
    while (pos < s.size() && (s[pos] == ' ' || s[pos] == 'T')) ++pos;
    if (!ParseTime(s, &pos, &t) || pos != s.size()) return false;
  }
  *out = DateFromCivil(t);
  return true;
}

std::string FormatDateTime(Date d) {
  CivilTime t = CivilFromDate(d);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
  return buf;
}

std::string FormatDay(Date d) {
  CivilTime t = CivilFromDate(d);
  char buf[24];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", t.year, t.month, t.day);
  return buf;
}

std::string FormatDayOrDateTime(Date d) { return d.serial == std::trunc(d.serial) ? FormatDay(d) : FormatDateTime(d); }

std::string FormatNumber(double v) {
  if (v == 0) return "0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  std::string s = buf;
  if (s.find('e') != std::string::npos && std::fabs(v) >= 1e-4 && std::fabs(v) < 1e15) {
    std::snprintf(buf, sizeof buf, "%.15f", v);
    s = buf;
  }
  if (s.find('.') != std::string::npos && s.find('e') == std::string::npos) {
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
  }
  return s;
}

Array ArgsFrom(std::vector<Variant> items, int lower_bound) {
  Array a;
  a.lower_bound = lower_bound;
  a.items = std::move(items);
  return a;
}

const Variant& Array::At(int index) const {
  if (index < lower_bound || index > UpperBound()) {
    throw ComError(errnum::kSubscriptRange, "Subscript out of range");
  }
  return items[static_cast<size_t>(index - lower_bound)];
}

bool Variant::IsNumeric() const {
  switch (type()) {
    case Type::kInt16:
    case Type::kInt32:
    case Type::kDouble:
    case Type::kBool: return true;
    default: return false;
  }
}

std::string Variant::ToString() const {
  switch (type()) {
    case Type::kEmpty: return std::string();
    case Type::kNull: InvalidNull();
    case Type::kInt16: return std::to_string(std::get<int16_t>(v_));
    case Type::kInt32: return std::to_string(std::get<int32_t>(v_));
    case Type::kDouble: return FormatNumber(std::get<double>(v_));
    case Type::kDate: return FormatDayOrDateTime(std::get<Date>(v_));
    case Type::kBool: return std::get<bool>(v_) ? "True" : "False";
    case Type::kString: return std::get<std::string>(v_);
    case Type::kObject:
    case Type::kArray: TypeMismatch();
  }
  TypeMismatch();
}

double Variant::ToDouble() const {
  switch (type()) {
    case Type::kEmpty: return 0;
    case Type::kNull: InvalidNull();
    case Type::kInt16: return std::get<int16_t>(v_);
    case Type::kInt32: return std::get<int32_t>(v_);
    case Type::kDouble: return std::get<double>(v_);
    case Type::kDate: return std::get<Date>(v_).serial;
    case Type::kBool: return std::get<bool>(v_) ? -1 : 0;
    case Type::kString: {
      double d;
      const std::string& s = std::get<std::string>(v_);
      if (ParseNumberText(s, &d)) return d;
      std::string_view t = TrimSpace(s);
      if (t.size() == 4 && strncasecmp(t.data(), "true", 4) == 0) return -1;
      if (t.size() == 5 && strncasecmp(t.data(), "false", 5) == 0) return 0;
      TypeMismatch();
    }
    case Type::kObject:
    case Type::kArray: TypeMismatch();
  }
  TypeMismatch();
}

int16_t Variant::ToInt16() const {
  if (type() == Type::kInt16) return std::get<int16_t>(v_);
  double d = RoundBankers(ToDouble());
  if (d < -32768.0 || d > 32767.0) Overflow();
  return static_cast<int16_t>(d);
}

int32_t Variant::ToInt32() const {
  if (type() == Type::kInt32) return std::get<int32_t>(v_);
  double d = RoundBankers(ToDouble());
  if (d < -2147483648.0 || d > 2147483647.0) Overflow();
  return static_cast<int32_t>(d);
}

bool Variant::ToBool() const {
  if (type() == Type::kBool) return std::get<bool>(v_);
  return ToDouble() != 0;
}

Date Variant::ToDate() const {
  switch (type()) {
    case Type::kDate: return std::get<Date>(v_);
    case Type::kString: {
      Date d;
      if (ParseDateText(std::get<std::string>(v_), &d)) return d;
      TypeMismatch();
    }
    case Type::kNull: InvalidNull();
    case Type::kObject:
    case Type::kArray: TypeMismatch();
    default: {
      // The days from 100-01-01 to 9999-12-31 23:59:59, as automation dates
      // run; a number outside them is no date, not a wrapped one.
      const double serial = ToDouble();
      if (!(serial >= -657434.0 && serial < 2958466.0)) Overflow();
      return Date{serial};
    }
  }
}

ObjectPtr Variant::ToObject() const {
  switch (type()) {
    case Type::kObject: return std::get<ObjectPtr>(v_);
    case Type::kEmpty:
    case Type::kNull: return nullptr;
    default: throw ComError(errnum::kObjectRequired, "Object required");
  }
}

const Array& Variant::ToArray() const {
  if (type() != Type::kArray) TypeMismatch();
  return *std::get<std::shared_ptr<const Array>>(v_);
}

}  // namespace tarn
