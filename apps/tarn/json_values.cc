#include "json_values.h"

#include "db/connection.h"
#include "db/connection_string.h"
#include "db/recordset.h"
#include "tarn/com_error.h"
#include "tarn/error_res.h"

namespace tarn::app {
namespace {

[[noreturn]] void Overflow() {
  throw ComError(errnum::kOverflow, "Overflow: a whole number beyond what a value holds");
}

}  // namespace

Json ToJson(const Variant& value) {
  switch (value.type()) {
    case Variant::Type::kEmpty:
    case Variant::Type::kNull: return nullptr;
    case Variant::Type::kInt16:
    case Variant::Type::kInt32: return value.ToInt32();
    case Variant::Type::kDouble: return value.ToDouble();
    case Variant::Type::kDate: return FormatDateTime(value.ToDate());
    case Variant::Type::kBool: return value.ToBool();
    case Variant::Type::kString: return value.ToString();
    case Variant::Type::kArray: {
      Json items = Json::array();
      for (const Variant& item : value.ToArray().items) items.push_back(ToJson(item));
      return items;
    }
    case Variant::Type::kObject: {
      ObjectPtr object = value.ToObject();
      if (!object) return nullptr;
      if (auto record = std::dynamic_pointer_cast<clsErrorRes>(object)) {
        return Json{{"ResId", record->ResId()}, {"ResArg", ToJson(Variant(record->ResArg()))}};
      }
      if (auto rs = std::dynamic_pointer_cast<db::Recordset>(object)) {
        // Its rows from the first, through a clone: the caller's cursor
        // stays where it is.
        Json fields = Json::array(), rows = Json::array();
        db::RecordsetPtr walk = rs->Clone();
        if (walk && walk->State() == db::ObjectState::kOpen) {
          for (size_t i = 0; i < walk->FieldCount(); ++i) fields.push_back(walk->FieldAt(i)->Name());
          for ((void)walk->MoveFirst(); !walk->Eof(); (void)walk->MoveNext()) {  // a walk over copied rows cannot fail
            Json row = Json::array();
            for (size_t i = 0; i < walk->FieldCount(); ++i) row.push_back(ToJson(walk->Value(i)));
            rows.push_back(std::move(row));
          }
        }
        return Json{{"fields", std::move(fields)}, {"rows", std::move(rows)}};
      }
      if (auto conn = std::dynamic_pointer_cast<db::Connection>(object)) {
        // What it is connected to, never the password.
        db::ConnectionString cs;
        const std::string text = conn->ConnectionString();
        return Json{
            {"connection", db::ConnectionString::Parse(text, &cs).ok() ? cs.Masked() : std::string("(unreadable)")}};
      }
      return Json{{"object", object->TypeName()}};
    }
  }
  return nullptr;
}

Variant FromJson(const Json& value) {
  switch (value.type()) {
    case Json::value_t::null: return Variant(Null{});
    case Json::value_t::boolean: return Variant(value.get<bool>());
    case Json::value_t::number_unsigned:
      if (value.get<uint64_t>() > static_cast<uint64_t>(INT64_MAX)) Overflow();
      [[fallthrough]];
    case Json::value_t::number_integer: {
      const int64_t n = value.get<int64_t>();
      // Small whole numbers are 16-bit, as an automation client passes its
      // literals: members that take any value tell the sizes apart.
      if (n >= INT16_MIN && n <= INT16_MAX) return Variant(static_cast<int16_t>(n));
      if (n >= INT32_MIN && n <= INT32_MAX) return Variant(static_cast<int32_t>(n));
      // A double holds whole numbers exactly up to 2^53 only.
      if (n > (int64_t{1} << 53) || n < -(int64_t{1} << 53)) Overflow();
      return Variant(static_cast<double>(n));
    }
    case Json::value_t::number_float: return Variant(value.get<double>());
    case Json::value_t::string: return Variant(value.get<std::string>());
    case Json::value_t::array: {
      Array array;
      for (const Json& item : value) array.items.push_back(FromJson(item));
      return Variant(std::move(array));
    }
    default: return Variant(value.dump());
  }
}

}  // namespace tarn::app
