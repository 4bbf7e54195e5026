// The rows of a query, shaped after the ADO recordset the component uses:
// open a statement on a connection with a cursor and a lock type, walk the
// rows, read fields by name (case-insensitively) or index, add or change a
// row and save it, clone a static recordset. Rows are copied out when the
// recordset opens, so it holds no cursor on the database and a clone lives
// on after the original closes.
#ifndef TARN_DB_RECORDSET_H_
#define TARN_DB_RECORDSET_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/connection.h"
#include "db/result.h"
#include "db/statement.h"
#include "tarn/status.h"
#include "tarn/variant.h"

namespace tarn::db {

// ADO's CursorTypeEnum and LockTypeEnum; -1 leaves the choice to the
// provider (forward-only, read-only).
enum class CursorType : int { kUnspecified = -1, kForwardOnly = 0, kKeyset = 1, kDynamic = 2, kStatic = 3 };
enum class LockType : int { kUnspecified = -1, kReadOnly = 1, kPessimistic = 2, kOptimistic = 3, kBatchOptimistic = 4 };

// ADO's numbers for its own errors, as an automation caller sees them.
namespace adoerr {
constexpr int32_t kNoCurrentRecord = 3021;  // either BOF or EOF is True
constexpr int32_t kNotSupported = 3251;     // the recordset does not support this
constexpr int32_t kItemNotFound = 3265;     // no field of that name or ordinal
constexpr int32_t kObjectClosed = 3704;
constexpr int32_t kObjectOpen = 3705;
}  // namespace adoerr

class Recordset;

class Field {
 public:
  const std::string& Name() const;
  // ADO type code: 2 smallint, 3 integer, 5 double, 11 boolean, 14 decimal,
  // 131 numeric, 135 date-time, 200/202 text.
  int32_t Type() const;
  // The value in the current row (or in the row being added or changed).
  // Throws ComError 3021 when there is no current row.
  const Variant& Value() const;
  // Changes the value in the row being added, or starts changing the
  // current row.
  Status SetValue(Variant value);

 private:
  friend class Recordset;
  Field(Recordset* rs, size_t index) : rs_(rs), index_(index) {}
  Recordset* rs_;
  size_t index_;
};

class Recordset : public Object {
 public:
  static std::shared_ptr<Recordset> Create();
  Recordset(const Recordset&) = delete;
  Recordset& operator=(const Recordset&) = delete;

  std::string TypeName() const override { return "Recordset"; }

  Status Open(const Statement& statement, const ConnectionPtr& connection, CursorType cursor = CursorType::kUnspecified,
              LockType lock = LockType::kUnspecified);
  ObjectState State() const { return open_ ? ObjectState::kOpen : ObjectState::kClosed; }
  // Drops the rows (clones keep theirs) and any unsaved change.
  void Close();

  bool Eof() const;
  bool Bof() const;
  Status MoveNext();
  Status MoveFirst();
  // Rows of a static or keyset recordset; -1 for the other cursors, as ADO.
  int64_t RecordCount() const;

  size_t FieldCount() const { return open_ ? Width() : 0; }
  Field* FieldAt(size_t index);
  // nullptr when there is no such field.
  Field* FieldByName(std::string_view name);
  // rs("name") and rs(i): the field's value in the current row. Throw
  // ComError 3265 for an unknown field, 3021 without a current row, 3704
  // when closed.
  const Variant& Value(std::string_view name) const;
  const Variant& Value(size_t index) const;

  // Adding and changing rows: needs a lock type other than read-only and a
  // query on one table. AddNew starts a new row, SetValue changes a field of
  // it (or of the current row), Update saves it with one statement.
  Status AddNew();
  Status SetValue(std::string_view name, Variant value);
  Status Update();
  void CancelUpdate();
  bool EditPending() const { return edit_ != Edit::kNone; }

  // A second cursor over the same rows (static or keyset recordsets only;
  // nullptr otherwise). It stays usable after this one closes.
  std::shared_ptr<Recordset> Clone() const;

  const ConnectionPtr& ActiveConnection() const { return connection_; }
  CursorType cursor_type() const { return cursor_; }
  LockType lock_type() const { return lock_; }

 private:
  friend class Field;
  enum class Edit { kNone, kAdd, kChange };
  struct Rows {
    std::shared_ptr<const Columns> columns;
    std::vector<Variant> cells;
  };

  Recordset() = default;
  // Points the recordset at `rows`, its own or ones it shares.
  void Bind(Rows* rows);
  void MakeFields();
  const Variant& CurrentValue(size_t index) const;
  Status SetValueAt(size_t index, Variant value);
  Status CheckUpdatable();
  size_t Width() const { return rows_->columns->size(); }
  size_t RowTotal() const { return Width() ? rows_->cells.size() / Width() : 0; }

  ConnectionPtr connection_;
  CursorType cursor_ = CursorType::kUnspecified;
  LockType lock_ = LockType::kUnspecified;
  std::string table_;  // the one table rows come from; "" when not updatable
  // The rows: its own until a clone shares them, then `shared_rows_`
  // (a clone is made from a const recordset, hence mutable).
  mutable Rows own_rows_;
  mutable std::shared_ptr<Rows> shared_rows_;
  mutable Rows* rows_ = nullptr;
  std::vector<Field> fields_;  // by column, once asked for
  size_t pos_ = 0;
  bool open_ = false;
  Edit edit_ = Edit::kNone;
  std::vector<Variant> pending_;
  std::vector<bool> changed_;
};

using RecordsetPtr = std::shared_ptr<Recordset>;

}  // namespace tarn::db

#endif  // TARN_DB_RECORDSET_H_
