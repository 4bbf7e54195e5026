// The accounting calendar, the account information and the closing status
// of one login object: clsLogin's members of the same names forward here.
// It reads the identity (GetAccInfo alone writes it, filling in an empty
// account id), asks through the connections (the extended edition's own
// system connection is opened on first use), and keeps GetAccInfo's ten
// user values.
#ifndef TARN_CALENDAR_CALENDAR_H_
#define TARN_CALENDAR_CALENDAR_H_

#include <cstdint>
#include <string>

#include "core/login_parts.h"
#include "tarn/variant.h"

namespace tarn::calendar {

class Calendar {
 public:
  Calendar(core::Identity& identity, core::Connections& connections, core::AccountValues& values)
      : id_(identity), connections_(connections), values_(values) {}
  explicit Calendar(core::LoginParts& parts) : Calendar(parts.identity, parts.connections, parts.values) {}

  int32_t GetPeriod(Date dCurDate, int16_t& iYear, int16_t& iPeriod);
  int32_t GetNatureDate(int16_t& iPeriod, Date& dateBegin, Date& dateEnd);
  bool ClosingStatus(int16_t nIndex, const std::string& cSubId, int16_t iYear, bool& bStateValue);
  bool GetAccInfo(int32_t nIndex, Variant& vValue);

 private:
  core::Identity& id_;
  core::Connections& connections_;
  core::AccountValues& values_;
};

}  // namespace tarn::calendar

#endif  // TARN_CALENDAR_CALENDAR_H_
