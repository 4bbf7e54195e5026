// ClosingStatus: the year-end closing flag of any subsystem and year of
// the account set, after checking that the subsystem exists and the year
// has a calendar.
#include "calendar/calendar.h"
#include "core/system_database.h"
#include "db/national.h"
#include "db/raise.h"
#include "db/recordset.h"
#include "tarn/login.h"

namespace tarn {
namespace {

int64_t Count(const db::RecordsetPtr& rs, const db::Statement& st, const db::ConnectionPtr& conn) {
  if (rs->State() == db::ObjectState::kOpen) rs->Close();
  db::RaiseIfFailed(rs->Open(st, conn));
  return rs->Eof() || rs->Value(size_t{0}).IsNull() ? 0 : static_cast<int64_t>(rs->Value(size_t{0}).ToDouble());
}

bool Run(const core::Identity& id, core::Connections& c, int16_t nIndex, const std::string& cSubId, int16_t iYear,
         bool& bStateValue) {
  const bool unicode = id.edition == Edition::kExtended;
  const db::ConnectionPtr conn = core::InformationDb(id, c);
  auto rs = db::Recordset::Create();
  if (Count(rs, db::StatementMarked(unicode, "SELECT COUNT(*) FROM UA_Subsys WHERE csub_id=N?").Bind(cSubId), conn) <
      1) {
    return false;
  }
  if (Count(rs,
            db::StatementMarked(unicode,
                                "SELECT COUNT(*) FROM UA_Period WHERE cAcc_Id = N? AND iYear=? AND (bisdelete=0 "
                                "or bisdelete is null)")
                .Bind(id.cAcc_Id)
                .Bind(iYear),
            conn) < 1) {
    return false;
  }
  rs->Close();
  db::RaiseIfFailed(rs->Open(
      db::StatementMarked(unicode, "SELECT * FROM UA_Account_sub WHERE cAcc_Id = N? AND iYear = ? AND cSub_Id = N?")
          .Bind(id.cAcc_Id)
          .Bind(iYear)
          .Bind(cSubId),
      conn, db::CursorType::kStatic, db::LockType::kPessimistic));
  if (rs->State() != db::ObjectState::kOpen) return false;
  auto add_row = [&] {
    db::RaiseIfFailed(rs->AddNew());
    db::RaiseIfFailed(rs->SetValue("cAcc_Id", Variant(id.cAcc_Id)));
    db::RaiseIfFailed(rs->SetValue("cSub_Id", Variant(cSubId)));
    db::RaiseIfFailed(rs->SetValue("iYear", Variant(iYear)));
  };
  switch (nIndex) {
    case 204:
      if (!rs->Eof()) {
        const Variant& closing = rs->Value("bclosing");
        bStateValue = !closing.IsNull() && closing.ToBool();
      } else {
        // A read creates the row, not yet closed, and leaves the caller's
        // value as it was.
        add_row();
        db::RaiseIfFailed(rs->SetValue("bclosing", Variant(false)));
        db::RaiseIfFailed(rs->Update());
      }
      return true;
    case 205:
      if (rs->Eof()) add_row();
      db::RaiseIfFailed(rs->SetValue("bclosing", Variant(true)));
      db::RaiseIfFailed(rs->Update());
      return true;
    case 206:
      if (rs->Eof()) return false;
      db::RaiseIfFailed(rs->SetValue("bclosing", Variant(false)));
      db::RaiseIfFailed(rs->Update());
      return true;
    default: return true;
  }
}

}  // namespace

// The full edition lets database errors reach the caller; the extended
// edition traps every one and answers false.
bool calendar::Calendar::ClosingStatus(int16_t nIndex, const std::string& cSubId, int16_t iYear, bool& bStateValue) {
  if (id_.edition == Edition::kFull) return Run(id_, connections_, nIndex, cSubId, iYear, bStateValue);
  try {
    return Run(id_, connections_, nIndex, cSubId, iYear, bStateValue);
  } catch (const std::exception&) {
    return false;
  }
}

bool clsLogin::ClosingStatus(int16_t nIndex, const std::string& cSubId, int16_t iYear, bool& bStateValue) {
  return calendar::Calendar(*state_).ClosingStatus(nIndex, cSubId, iYear, bStateValue);
}

}  // namespace tarn
