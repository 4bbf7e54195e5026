// Rows as a backend hands them over: copied out of the database at once, so
// that no cursor stays open (an open SQLite cursor would pin its snapshot
// and hide other processes' commits).
#ifndef TARN_DB_RESULT_H_
#define TARN_DB_RESULT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tarn/variant.h"

namespace tarn::db {

// The ADO type codes of fields (DataTypeEnum) that callers test.
namespace adtype {
constexpr int32_t kEmpty = 0;
constexpr int32_t kSmallInt = 2;
constexpr int32_t kInteger = 3;
constexpr int32_t kSingle = 4;
constexpr int32_t kDouble = 5;
constexpr int32_t kBoolean = 11;
constexpr int32_t kDecimal = 14;
constexpr int32_t kBigInt = 20;
constexpr int32_t kNumeric = 131;
constexpr int32_t kDBTimeStamp = 135;
constexpr int32_t kChar = 129;
constexpr int32_t kVarChar = 200;
constexpr int32_t kVarWChar = 202;
}  // namespace adtype

// What a column holds, as each backend classifies its own types.
enum class ValueKind { kNone, kText, kWideText, kBool, kInt16, kInt32, kDouble, kNumeric, kDate };

// The type code callers see for a kind; a kind the backend could not tell
// reads as text.
inline int32_t AdTypeOf(ValueKind kind) {
  switch (kind) {
    case ValueKind::kBool: return adtype::kBoolean;
    case ValueKind::kInt16: return adtype::kSmallInt;
    case ValueKind::kInt32: return adtype::kInteger;
    case ValueKind::kDouble: return adtype::kDouble;
    case ValueKind::kNumeric: return adtype::kNumeric;
    case ValueKind::kDate: return adtype::kDBTimeStamp;
    case ValueKind::kWideText: return adtype::kVarWChar;
    case ValueKind::kNone:
    case ValueKind::kText: break;
  }
  return adtype::kVarChar;
}

struct Column {
  std::string name;
  int32_t type = adtype::kVarChar;
};
using Columns = std::vector<Column>;

struct ResultSet {
  // Null when the statement produced no rowset (INSERT, UPDATE, ...).
  std::shared_ptr<const Columns> columns;
  std::vector<Variant> cells;  // row-major

  size_t width() const { return columns ? columns->size() : 0; }
  size_t rows() const { return width() ? cells.size() / width() : 0; }
  const Variant& at(size_t row, size_t col) const { return cells[row * width() + col]; }
};

}  // namespace tarn::db

#endif  // TARN_DB_RESULT_H_
