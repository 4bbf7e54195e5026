// GetPeriod and GetNatureDate: the accounting periods of the account set.
// Both answer 0 with their out-parameters written, or -1 with them as the
// caller passed them, for a missing period and for any error alike. The
// extended edition reads on its own system connection, opened on first use.
#include <exception>

#include "calendar/calendar.h"
#include "core/system_database.h"
#include "db/national.h"
#include "db/recordset.h"
#include "platform/text.h"
#include "tarn/login.h"

namespace tarn {

int32_t calendar::Calendar::GetPeriod(Date dCurDate, int16_t& iYear, int16_t& iPeriod) {
  try {
    const std::string day = FormatDay(dCurDate);
    auto rs = db::Recordset::Create();
    if (!rs->Open(db::StatementMarked(
                      id_.edition == Edition::kExtended,
                      "SELECT iId, iYear FROM UA_Period WHERE cAcc_id = N? AND dBegin <= ? AND dEnd >= ? AND  "
                      "(bIsDelete=0 or bisdelete is null)")
                      .Bind(std::string(TrimBlanks(id_.cAcc_Id)))
                      .Bind(day)
                      .Bind(day),
                  core::InformationDb(id_, connections_))
             .ok() ||
        rs->Eof()) {
      return -1;
    }
    // No order is asked for: of overlapping periods the first row wins.
    iYear = rs->Value("iYear").ToInt16();
    iPeriod = rs->Value("iid").ToInt16();
    return 0;
  } catch (const std::exception&) {
    return -1;
  }
}

int32_t calendar::Calendar::GetNatureDate(int16_t& iPeriod, Date& dateBegin, Date& dateEnd) {
  try {
    auto rs = db::Recordset::Create();
    if (!rs->Open(db::StatementMarked(
                      id_.edition == Edition::kExtended,
                      "SELECT dBegin, dEnd FROM UA_Period WHERE cAcc_id = N? AND iYear = ? AND iid = ? AND  "
                      "(bIsDelete=0 or bisdelete is null)")
                      .Bind(std::string(TrimBlanks(id_.cAcc_Id)))
                      .BindNumber(id_.cIYear)  // as stored: a year that is no number fails the query
                      .Bind(iPeriod),
                  core::InformationDb(id_, connections_))
             .ok() ||
        rs->Eof()) {
      return -1;
    }
    dateBegin = rs->Value("dbegin").ToDate();
    dateEnd = rs->Value("dend").ToDate();  // a NULL end leaves the begin written, as it always did
    return 0;
  } catch (const std::exception&) {
    return -1;
  }
}

int32_t clsLogin::GetPeriod(Date dCurDate, int16_t& iYear, int16_t& iPeriod) {
  return calendar::Calendar(*state_).GetPeriod(dCurDate, iYear, iPeriod);
}

int32_t clsLogin::GetNatureDate(int16_t& iPeriod, Date& dateBegin, Date& dateEnd) {
  return calendar::Calendar(*state_).GetNatureDate(iPeriod, dateBegin, dateEnd);
}

}  // namespace tarn
