#include "db/recordset.h"

#include <cctype>

#include "db/dialect.h"
#include "platform/text.h"
#include "tarn/com_error.h"

namespace tarn::db {
namespace {

constexpr char kClosedText[] = "Operation is not allowed when the object is closed.";
constexpr char kNoRowText[] =
    "Either BOF or EOF is True, or the current record has been deleted. Requested operation requires a current "
    "record.";
constexpr char kNotUpdatableText[] =
    "Current Recordset does not support updating. This may be a limitation of the provider, or of the selected "
    "locktype.";

bool IsPlainName(std::string_view name) {
  if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0]))) return false;
  for (char c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  }
  return true;
}

// Columns whose original value identifies the row when it is changed:
// exact types only (a float or a date-time may not survive the round trip).
bool UsableAsCriterion(const Variant& v) {
  switch (v.type()) {
    case Variant::Type::kNull:
    case Variant::Type::kInt16:
    case Variant::Type::kInt32:
    case Variant::Type::kBool:
    case Variant::Type::kString: return true;
    default: return false;
  }
}

}  // namespace

const std::string& Field::Name() const { return (*rs_->rows_->columns)[index_].name; }
int32_t Field::Type() const { return (*rs_->rows_->columns)[index_].type; }
const Variant& Field::Value() const { return rs_->CurrentValue(index_); }
Status Field::SetValue(Variant value) { return rs_->SetValueAt(index_, std::move(value)); }

std::shared_ptr<Recordset> Recordset::Create() {
  struct Constructible : Recordset {};  // one allocation, private constructor kept
  return std::make_shared<Constructible>();
}

Status Recordset::Open(const Statement& statement, const ConnectionPtr& connection, CursorType cursor, LockType lock) {
  if (open_) return Status::InvalidArgument("Operation is not allowed when the object is open.");
  if (!connection) return Status::InvalidArgument("The connection cannot be used to perform this operation.");
  // A recordset opened again (the sign-on reads through one) fills the
  // storage its last rows left, without a new allocation.
  ResultSet result;
  if (!shared_rows_) {
    result.cells.swap(own_rows_.cells);
    result.columns.swap(own_rows_.columns);
  }
  Status s = connection->Query(statement, &result);
  if (!s.ok()) return s;
  if (connection_ != connection) connection_ = connection;  // reopened: no count to move
  cursor_ = cursor;
  lock_ = lock;
  if (!result.columns) return Status::OK();  // no rowset: stays closed, as in ADO
  const bool updatable =
      lock == LockType::kPessimistic || lock == LockType::kOptimistic || lock == LockType::kBatchOptimistic;
  if (updatable) {
    table_ = UpdatableTable(statement.sql());
  } else {
    table_.clear();
  }
  shared_rows_.reset();
  own_rows_.columns = std::move(result.columns);
  own_rows_.cells = std::move(result.cells);
  Bind(&own_rows_);
  return Status::OK();
}

void Recordset::Bind(Rows* rows) {
  rows_ = rows;
  fields_.clear();  // made when first asked for: most callers read values only
  pos_ = 0;
  open_ = true;
  edit_ = Edit::kNone;
}

void Recordset::Close() {
  open_ = false;
  rows_ = nullptr;
  shared_rows_.reset();
  own_rows_.cells.clear();  // its storage (and the columns) serve the next Open
  fields_.clear();
  edit_ = Edit::kNone;
  pending_.clear();
  changed_.clear();
}

bool Recordset::Eof() const {
  if (!open_) throw ComError(adoerr::kObjectClosed, kClosedText);
  return edit_ != Edit::kAdd && pos_ >= RowTotal();
}

bool Recordset::Bof() const {
  if (!open_) throw ComError(adoerr::kObjectClosed, kClosedText);
  return edit_ != Edit::kAdd && RowTotal() == 0;
}

Status Recordset::MoveNext() {
  if (!open_) return Status::InvalidArgument(kClosedText);
  if (edit_ != Edit::kNone) {
    Status s = Update();
    if (!s.ok()) return s;
  }
  if (pos_ >= RowTotal()) return Status::NotFound(kNoRowText);
  ++pos_;
  return Status::OK();
}

Status Recordset::MoveFirst() {
  if (!open_) return Status::InvalidArgument(kClosedText);
  if (edit_ != Edit::kNone) {
    Status s = Update();
    if (!s.ok()) return s;
  }
  pos_ = 0;
  return Status::OK();
}

int64_t Recordset::RecordCount() const {
  if (!open_) throw ComError(adoerr::kObjectClosed, kClosedText);
  if (cursor_ == CursorType::kStatic || cursor_ == CursorType::kKeyset) return static_cast<int64_t>(RowTotal());
  return -1;
}

void Recordset::MakeFields() {
  if (fields_.size() == Width()) return;
  fields_.clear();
  fields_.reserve(Width());
  for (size_t i = 0; i < Width(); ++i) fields_.push_back(Field(this, i));
}

Field* Recordset::FieldAt(size_t index) {
  if (!open_ || index >= Width()) return nullptr;
  MakeFields();
  return &fields_[index];
}

Field* Recordset::FieldByName(std::string_view name) {
  if (!open_) return nullptr;
  MakeFields();
  for (Field& f : fields_) {
    if (EqualsNoCase(f.Name(), name)) return &f;
  }
  return nullptr;
}

const Variant& Recordset::Value(std::string_view name) const {
  if (!open_) throw ComError(adoerr::kObjectClosed, kClosedText);
  // Callers mostly spell a field as the query does: that is tried first.
  const Columns& columns = *rows_->columns;
  for (size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].name == name || EqualsNoCase(columns[i].name, name)) return CurrentValue(i);
  }
  throw ComError(adoerr::kItemNotFound,
                 "Item cannot be found in the collection corresponding to the requested name "
                 "or ordinal. ('" +
                     std::string(name) + "')");
}

const Variant& Recordset::Value(size_t index) const {
  if (!open_) throw ComError(adoerr::kObjectClosed, kClosedText);
  if (index >= Width()) {
    throw ComError(adoerr::kItemNotFound,
                   "Item cannot be found in the collection corresponding to the requested name or ordinal.");
  }
  return CurrentValue(index);
}

const Variant& Recordset::CurrentValue(size_t index) const {
  if (!open_) throw ComError(adoerr::kObjectClosed, kClosedText);
  if (edit_ != Edit::kNone) return pending_[index];
  if (pos_ >= RowTotal()) throw ComError(adoerr::kNoCurrentRecord, kNoRowText);
  return rows_->cells[pos_ * Width() + index];
}

Status Recordset::CheckUpdatable() {
  if (!open_) return Status::InvalidArgument(kClosedText);
  if (table_.empty()) return Status::InvalidArgument(kNotUpdatableText);
  return Status::OK();
}

Status Recordset::AddNew() {
  Status s = CheckUpdatable();
  if (!s.ok()) return s;
  if (edit_ != Edit::kNone) {
    s = Update();
    if (!s.ok()) return s;
  }
  edit_ = Edit::kAdd;
  pending_.assign(Width(), Variant(Null{}));
  changed_.assign(Width(), false);
  return Status::OK();
}

Status Recordset::SetValue(std::string_view name, Variant value) {
  Field* f = FieldByName(name);
  if (!f) {
    return Status::NotFound(
        "Item cannot be found in the collection corresponding to the requested name or "
        "ordinal. ('" +
        std::string(name) + "')");
  }
  return SetValueAt(f->index_, std::move(value));
}

Status Recordset::SetValueAt(size_t index, Variant value) {
  Status s = CheckUpdatable();
  if (!s.ok()) return s;
  if (edit_ == Edit::kNone) {
    if (pos_ >= RowTotal()) return Status::NotFound(kNoRowText);
    edit_ = Edit::kChange;
    pending_.assign(rows_->cells.begin() + static_cast<std::ptrdiff_t>(pos_ * Width()),
                    rows_->cells.begin() + static_cast<std::ptrdiff_t>((pos_ + 1) * Width()));
    changed_.assign(Width(), false);
  }
  pending_[index] = std::move(value);
  changed_[index] = true;
  return Status::OK();
}

void Recordset::CancelUpdate() {
  edit_ = Edit::kNone;
  pending_.clear();
  changed_.clear();
}

Status Recordset::Update() {
  Status s = CheckUpdatable();
  if (!s.ok()) return s;
  if (edit_ == Edit::kNone) return Status::OK();
  const Columns& cols = *rows_->columns;
  for (size_t i = 0; i < cols.size(); ++i) {
    if (!IsPlainName(cols[i].name)) return Status::InvalidArgument(kNotUpdatableText);
  }
  // The statement is itself a template: the dialect carries it to the
  // backend like any other, and the connection caches it by its text.
  std::string sql;
  std::vector<Variant> values;
  if (edit_ == Edit::kAdd) {
    std::string names, marks;
    for (size_t i = 0; i < cols.size(); ++i) {
      if (!changed_[i]) continue;
      names += (names.empty() ? "" : ",") + cols[i].name;
      marks += marks.empty() ? "?" : ",?";
      values.push_back(pending_[i]);
    }
    if (values.empty()) return Status::InvalidArgument("No value was set in the new row");
    sql = "INSERT INTO " + table_ + " (" + names + ") VALUES (" + marks + ")";
  } else {
    std::string sets, where;
    for (size_t i = 0; i < cols.size(); ++i) {
      if (!changed_[i]) continue;
      sets += (sets.empty() ? "" : ",") + cols[i].name + "=?";
      values.push_back(pending_[i]);
    }
    if (values.empty()) {
      CancelUpdate();
      return Status::OK();
    }
    const Variant* original = &rows_->cells[pos_ * Width()];
    for (size_t i = 0; i < cols.size(); ++i) {
      if (!UsableAsCriterion(original[i])) continue;
      where += where.empty() ? " WHERE " : " AND ";
      if (original[i].IsNull()) {
        where += cols[i].name + " IS NULL";
      } else {
        where += cols[i].name + "=?";
        values.push_back(original[i]);
      }
    }
    if (where.empty()) return Status::InvalidArgument(kNotUpdatableText);
    sql = "UPDATE " + table_ + " SET " + sets + where;
  }
  Statement st(sql);
  for (Variant& v : values) st.Bind(std::move(v));
  int64_t affected = -1;
  s = connection_->Execute(st, &affected);
  if (!s.ok()) return s;
  if (edit_ == Edit::kChange && affected == 0) {
    return Status::Database(
        "Row cannot be located for updating. Some values may have been changed since it was "
        "last read.");
  }
  if (edit_ == Edit::kAdd) {
    rows_->cells.insert(rows_->cells.end(), pending_.begin(), pending_.end());
    pos_ = RowTotal() - 1;
  } else {
    std::copy(pending_.begin(), pending_.end(), rows_->cells.begin() + static_cast<std::ptrdiff_t>(pos_ * Width()));
  }
  CancelUpdate();
  return Status::OK();
}

std::shared_ptr<Recordset> Recordset::Clone() const {
  if (!open_ || (cursor_ != CursorType::kStatic && cursor_ != CursorType::kKeyset)) return nullptr;
  auto clone = Create();
  clone->connection_ = connection_;
  clone->cursor_ = cursor_;
  clone->lock_ = lock_;
  clone->table_ = table_;
  if (!shared_rows_) {
    // Shared from the first clone on: later changes show in every cursor.
    shared_rows_ = std::make_shared<Rows>(std::move(own_rows_));
    rows_ = shared_rows_.get();
  }
  clone->shared_rows_ = shared_rows_;
  clone->Bind(shared_rows_.get());
  return clone;
}

}  // namespace tarn::db
