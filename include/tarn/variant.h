// The any-typed value that crosses every late-bound call: what the suite's
// automation interfaces pass around. Conversions follow the rules callers of
// such interfaces expect (16-bit overflow is an error, not a wrap; dates are
// serial day numbers counted from 30 December 1899).
#ifndef TARN_VARIANT_H_
#define TARN_VARIANT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "tarn/export.h"

namespace tarn {

// Base of every object handed out by reference: outside components, error
// records, recordsets. Shared ownership stands in for reference counting.
class TARN_EXPORT Object {
 public:
  virtual ~Object() = default;
  // A short name for diagnostics and for rendering ("clsErrorRes", ...).
  virtual std::string TypeName() const = 0;
};
using ObjectPtr = std::shared_ptr<Object>;

// A point in time as a serial day number: whole days since 1899-12-30, the
// time of day as the fraction. Before the epoch the fraction still counts
// forward from midnight (-1.25 is 1899-12-29 06:00).
struct Date {
  double serial = 0;
  friend bool operator==(Date a, Date b) { return a.serial == b.serial; }
};

struct CivilTime {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
};

TARN_EXPORT Date DateFromCivil(const CivilTime& t);
TARN_EXPORT CivilTime CivilFromDate(Date d);
// "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS[.fff]]", "YYYY/MM/DD ...", "YYYYMMDD",
// "HH:MM[:SS]" (a time alone lies on the epoch day). false when not a date.
TARN_EXPORT bool ParseDateText(std::string_view text, Date* out);
// "YYYY-MM-DD HH:MM:SS".
TARN_EXPORT std::string FormatDateTime(Date d);
// "YYYY-MM-DD".
TARN_EXPORT std::string FormatDay(Date d);
// A day alone as "YYYY-MM-DD", else with its time: how dates travel as text.
TARN_EXPORT std::string FormatDayOrDateTime(Date d);

class Variant;

// A one-dimensional array with its lower bound (callers of the suite index
// most argument arrays from 1).
struct TARN_EXPORT Array {
  int lower_bound = 0;
  std::vector<Variant> items;

  int UpperBound() const;
  const Variant& At(int index) const;  // throws ComError 9 when out of range
};

struct Null {
  friend bool operator==(Null, Null) { return true; }
};

class TARN_EXPORT Variant {
 public:
  enum class Type { kEmpty, kNull, kInt16, kInt32, kDouble, kDate, kBool, kString, kObject, kArray };

  Variant() = default;
  Variant(Null) : v_(Null{}) {}
  Variant(int16_t v) : v_(v) {}
  Variant(int32_t v) : v_(v) {}
  Variant(double v) : v_(v) {}
  Variant(Date v) : v_(v) {}
  Variant(bool v) : v_(v) {}
  Variant(std::string v) : v_(std::move(v)) {}
  Variant(std::string_view v) : v_(std::string(v)) {}
  Variant(const char* v) : v_(std::string(v)) {}
  Variant(ObjectPtr v) : v_(std::move(v)) {}
  Variant(Array v) : v_(std::make_shared<const Array>(std::move(v))) {}

  Type type() const { return static_cast<Type>(v_.index()); }
  bool IsEmpty() const { return type() == Type::kEmpty; }
  bool IsNull() const { return type() == Type::kNull; }
  bool IsString() const { return type() == Type::kString; }
  bool IsObject() const { return type() == Type::kObject; }
  bool IsArray() const { return type() == Type::kArray; }
  bool IsNumeric() const;

  // Conversions; each throws ComError (13 type mismatch, 6 overflow,
  // 94 invalid use of Null) where the value cannot be converted.
  std::string ToString() const;
  int16_t ToInt16() const;
  int32_t ToInt32() const;
  double ToDouble() const;
  bool ToBool() const;
  Date ToDate() const;
  ObjectPtr ToObject() const;  // Empty and Null give nullptr ("Nothing")
  const Array& ToArray() const;

  // Text as a string of this value, with Null read as the empty string: the
  // frequent "value & ''" idiom of callers that tolerate NULL columns.
  std::string ToStringOrEmpty() const { return IsNull() ? std::string() : ToString(); }
  // The text a string holds, without a copy; nullptr for any other type.
  const std::string* StringIf() const { return std::get_if<std::string>(&v_); }

  friend bool operator==(const Variant& a, const Variant& b) { return a.v_ == b.v_; }

 private:
  std::variant<std::monostate, Null, int16_t, int32_t, double, Date, bool, std::string, ObjectPtr,
               std::shared_ptr<const Array>>
      v_;
};

// Out of line: Variant must be complete before its vector is measured.
inline int Array::UpperBound() const { return lower_bound + static_cast<int>(items.size()) - 1; }

// Decimal text of a double as an automation client writes it: up to 15
// significant digits, no exponent for ordinary magnitudes, no trailing zeros.
TARN_EXPORT std::string FormatNumber(double v);

// Shorthand for the one-based argument arrays of messages.
TARN_EXPORT Array ArgsFrom(std::vector<Variant> items, int lower_bound = 1);

}  // namespace tarn

#endif  // TARN_VARIANT_H_
