// The calendar, account information and closing status on purpose-made
// data, on SQLite and on PostgreSQL.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "calendar/calendar.h"
#include "core/login_parts.h"
#include "db/connection.h"
#include "db/recordset.h"
#include "platform/text.h"
#include "suite/sysdb/schema.h"
#include "support/fake_env.h"
#include "support/scratch_server.h"
#include "tarn/com_error.h"
#include "tarn/login.h"

namespace tarn {
namespace {

using db::Statement;
using testing::ScratchServer;

Date Day(int y, int m, int d) { return DateFromCivil({y, m, d, 0, 0, 0}); }

class CalendarTest : public ::testing::TestWithParam<ScratchServer::Kind> {
 protected:
  void SetUp() override {
    std::string skip;
    server_ = ScratchServer::Make(GetParam(), &skip);
    if (!server_) TARN_SKIP_WITHOUT_BACKEND(skip);
    conn_ = db::Connection::Create();
    ASSERT_TRUE(conn_->Open(server_->server(), "", "").ok());
    ASSERT_TRUE(suite::CreateSystemDatabase(*conn_).ok());
    Exec(
        Statement("INSERT INTO UA_Account (cAcc_Id,cAcc_Name,iYear,iMonth,cCurCode,cUnitName,cUnitTaxNo,cFinKind,"
                  "cFinType) VALUES ('K01','Kite',2020,1,'CNY','Kite Trading Ltd.','TAX-1','Kind',NULL)"));
    Exec(Statement("INSERT INTO UA_Account (cAcc_Id,cAcc_Name) VALUES ('K02','Eleven')"));
    for (int m = 1; m <= 12; ++m) {
      Period("K01", 2024, m, Day(2024, m, 1), m == 12 ? Day(2024, 12, 31).serial : Day(2024, m + 1, 1).serial - 1,
             m == 5 ? "NULL" : "0");
      if (m <= 11) Period("K02", 2024, m, Day(2024, m, 1), Day(2024, m, 20).serial, "0");
    }
    Period("K02", 2024, 12, Day(2024, 12, 1), Day(2024, 12, 20).serial, "1");  // deleted: 11 live
    Period("K01", 2023, 1, Day(2023, 1, 1), Day(2023, 6, 30).serial, "0");
    Period("K01", 2023, 2, Day(2023, 8, 1), Day(2023, 12, 31).serial, "0");  // July is a gap
    Period("K01", 2023, 3, Day(2023, 7, 1), Day(2023, 7, 31).serial, "1");   // deleted
    Exec(Statement("INSERT INTO UA_SubSys (cSub_Id,cSub_Name) VALUES ('GL','Ledger')"));
    Exec(Statement("INSERT INTO UA_SubSys (cSub_Id,cSub_Name) VALUES ('AP','Payables')"));
    Exec(Statement("INSERT INTO UA_User (cUser_Id,cUser_Name,cDept) VALUES ('U1','One','D1')"));
    Exec(Statement("INSERT INTO UA_User (cUser_Id,cUser_Name,cDept) VALUES ('U2','Two','D2')"));
    Exec(Statement("INSERT INTO UA_User (cUser_Id,cUser_Name,cDept) VALUES ('U3','Three','D3')"));
    Exec(Statement("INSERT INTO UA_Group (cGroup_Id,cGroup_Name) VALUES ('G1','Group one')"));
    Exec(Statement("INSERT INTO ua_role (cGroup_Id,cUser_Id) VALUES ('G1','U3')"));
    Exec(Statement("INSERT INTO ua_role (cGroup_Id,cUser_Id) VALUES ('G1','U1')"));
    for (const char* row : {"'U1','AS1101',1", "'U1','ADMIN',1", "'U2','GL01',1", "'G1','AS1107',0"}) {
      Exec(Statement(std::string("INSERT INTO UA_HoldAuth (cAcc_Id,iYear,cUser_Id,cAuth_Id,iIsUser) VALUES "
                                 "('K01',2024,") +
                     row + ")"));
    }
    Exec(
        Statement("INSERT INTO UA_Account_Sub (cAcc_Id,iYear,cSub_Id,dSubSysUsed,dSubOriDate,iModiPeri,bclosing) "
                  "VALUES ('K01',9999,'GL','2020-01-01','2019-12-01',NULL,NULL)"));
    Exec(
        Statement("INSERT INTO UA_Account_Sub (cAcc_Id,iYear,cSub_Id,iModiPeri,bclosing) VALUES "
                  "('K01',2024,'GL',3,NULL)"));
    ASSERT_TRUE(suite::CreateAccountDatabase(*conn_, "K01", 2024).ok());

    core::LoginParts& s = parts_;
    s.identity.cAcc_Id = "K01";
    s.identity.cIYear = "2024";
    s.identity.cSub_Id = "GL";
    s.identity.cUserId = "U1";
    s.connections.SystemConnection = db::Connection::Create();
    ASSERT_TRUE(s.connections.SystemConnection->Open(server_->With("ValeSystem"), "", "").ok());
  }

  void Exec(const Statement& st) {
    ASSERT_TRUE(conn_->Execute(st).ok()) << st.sql() << ": "
                                         << (conn_->Errors().empty() ? "" : conn_->Errors()[0].description);
  }
  void Period(const char* acc, int year, int id, Date begin, double end, const char* deleted) {
    Exec(Statement(std::string("INSERT INTO UA_Period (cAcc_Id,iYear,iId,dBegin,dEnd,bIsDelete) VALUES (?,?,?,?,?,") +
                   deleted + ")")
             .Bind(acc)
             .Bind(year)
             .Bind(id)
             .Bind(begin)
             .Bind(Date{end}));
  }
  int64_t Count(const std::string& sql) {
    db::ResultSet rs;
    EXPECT_TRUE(conn_->Query(Statement(sql), &rs).ok()) << sql;
    return rs.rows() ? static_cast<int64_t>(rs.at(0, 0).ToDouble()) : -1;
  }
  Variant Info(int32_t index, Variant in = Variant(), bool* ok = nullptr) {
    const bool answered = calendar_.GetAccInfo(index, in);
    if (ok) *ok = answered;
    return in;
  }

  std::unique_ptr<ScratchServer> server_;
  db::ConnectionPtr conn_;
  testing::FakeEnv env_;
  testing::FakeEnvScope env_scope_{env_};
  // The calendar of a login whose parts the tests set as they need.
  core::LoginParts parts_{Edition::kFull};
  calendar::Calendar calendar_{parts_};
};

TEST_P(CalendarTest, PeriodsOfADateInAnyYearBothBoundsIncluded) {
  int16_t year = 1, period = 1;
  EXPECT_EQ(calendar_.GetPeriod(Day(2024, 3, 1), year, period), 0);
  EXPECT_EQ(year, 2024);
  EXPECT_EQ(period, 3);
  EXPECT_EQ(calendar_.GetPeriod(DateFromCivil({2024, 3, 31, 23, 59, 0}), year, period), 0);  // the day counts
  EXPECT_EQ(period, 3);
  EXPECT_EQ(calendar_.GetPeriod(Day(2024, 5, 15), year, period), 0);  // a NULL deletion flag is live
  EXPECT_EQ(period, 5);
  EXPECT_EQ(calendar_.GetPeriod(Day(2023, 6, 30), year, period), 0);  // another year is answered
  EXPECT_EQ(year, 2023);
  EXPECT_EQ(period, 1);
  // A gap, a deleted period, an account set without periods: -1, untouched.
  year = 7, period = 7;
  EXPECT_EQ(calendar_.GetPeriod(Day(2023, 7, 15), year, period), -1);
  EXPECT_EQ(year, 7);
  EXPECT_EQ(period, 7);
  parts_.identity.cAcc_Id = "K01  ";  // trailing blanks are trimmed
  EXPECT_EQ(calendar_.GetPeriod(Day(2024, 1, 1), year, period), 0);
  parts_.identity.cAcc_Id = "NONE";
  EXPECT_EQ(calendar_.GetPeriod(Day(2024, 1, 1), year, period), -1);

  parts_.identity.cAcc_Id = "K01";
  Date begin = Day(1999, 1, 1), end = begin;
  int16_t wanted = 2;
  EXPECT_EQ(calendar_.GetNatureDate(wanted, begin, end), 0);
  EXPECT_EQ(FormatDay(begin), "2024-02-01");
  EXPECT_EQ(FormatDay(end), "2024-02-29");
  wanted = 13;
  begin = end = Day(1999, 1, 1);
  EXPECT_EQ(calendar_.GetNatureDate(wanted, begin, end), -1);
  EXPECT_EQ(FormatDay(begin), "1999-01-01");
  // A year that is no number, or no sign-on: -1, never an error.
  parts_.identity.cIYear = "20x4";
  wanted = 2;
  EXPECT_EQ(calendar_.GetNatureDate(wanted, begin, end), -1);
  clsLogin fresh;
  EXPECT_EQ(fresh.GetPeriod(Day(2024, 1, 1), year, period), -1);
  EXPECT_EQ(fresh.GetNatureDate(wanted, begin, end), -1);
}

TEST_P(CalendarTest, SlotsConnectionStringsAndMasterData) {
  bool ok = false;
  EXPECT_EQ(Info(3, Variant("x"), &ok).ToString(), "x");
  EXPECT_TRUE(ok);
  EXPECT_EQ(Info(63).ToString(), "x");
  Info(3, Variant(int16_t{5}), &ok);  // a number stores nothing
  EXPECT_TRUE(ok);
  EXPECT_EQ(Info(63).ToString(), "x");

  const std::string base = Info(11).ToString();
  EXPECT_EQ(base, server_->server() + ";");  // the catalog was the last item: cut through the end
  // Twelve live periods: the year database's string, and it opens.
  const std::string k01 = Info(10, Variant("K012024"), &ok).ToString();
  ASSERT_TRUE(ok);
  EXPECT_EQ(k01, base + ";INITIAL CATALOG=VALEDATA_K01_2024");
  auto year_db = db::Connection::Create();
  EXPECT_TRUE(year_db->Open(k01, "", "").ok()) << k01;
  // Eleven live periods, or no string of seven: false.
  EXPECT_EQ(Info(10, Variant("K022024"), &ok).ToString(), "K022024");
  EXPECT_FALSE(ok);
  Info(10, Variant("K01202"), &ok);
  EXPECT_FALSE(ok);
  // "init" in an item before the catalog (a workstation here; a server,
  // user, password or path alike) and a quoted ';' are no catalog.
  parts_.connections.SystemConnection = db::Connection::Create();
  const std::string other = server_->server() + ";Workstation ID=INIT01;Initial Catalog=ValeSystem;App=\"a;b\"";
  ASSERT_TRUE(parts_.connections.SystemConnection->Open(other, "", "").ok());
  EXPECT_EQ(Info(11).ToString(), server_->server() + ";Workstation ID=INIT01;App=\"a;b\"");
  EXPECT_EQ(Info(10, Variant("K012024")).ToString(),
            server_->server() + ";Workstation ID=INIT01;App=\"a;b\";INITIAL CATALOG=VALEDATA_K01_2024");

  EXPECT_EQ(Info(105).ToString(), "Kite Trading Ltd.");
  EXPECT_EQ(Info(100).ToInt32(), 2020);
  EXPECT_EQ(Info(112).ToString(), "TAX-1");
  EXPECT_TRUE(Info(115).IsNull());      // NULL as it is
  EXPECT_EQ(Info(118).ToString(), "");  // NULL as empty text
  EXPECT_EQ(Info(119).ToString(), "Kind");
  parts_.identity.cAcc_Id = "NONE";
  Info(105, Variant("kept"), &ok);
  EXPECT_FALSE(ok);
  parts_.identity.cAcc_Id = "K01";
  EXPECT_EQ(Info(150, Variant("kept"), &ok).ToString(), "kept");  // not an index
  EXPECT_FALSE(ok);
}

TEST_P(CalendarTest, WhoHoldsRightsAsRecordsetsTheCallerOwns) {
  auto rows = [](const Variant& v) {
    std::vector<std::string> out;
    auto rs = std::dynamic_pointer_cast<db::Recordset>(v.ToObject());
    if (!rs) return out;
    const size_t second = rs->FieldCount() > 3 ? 3 : 1;  // 120: the right; else the name
    for (; !rs->Eof(); (void)rs->MoveNext()) {
      out.push_back(rs->Value(size_t{0}).ToString() + "/" + rs->Value(second).ToStringOrEmpty());
    }
    std::sort(out.begin(), out.end());
    return out;
  };
  EXPECT_EQ(rows(Info(120)), (std::vector<std::string>{"U1/", "U1/ADMIN", "U2/"}));
  EXPECT_EQ(rows(Info(121)), (std::vector<std::string>{"G1/Group one"}));
  // Users with rights, directly or through their groups.
  EXPECT_EQ(rows(Info(301)), (std::vector<std::string>{"U1/One", "U2/Two", "U3/Three"}));
  // The user's AS11 rights, through groups too.
  const std::string as11 = Info(300).ToString();
  EXPECT_TRUE(as11 == "'01','07'" || as11 == "'07','01'") << as11;
  // Without a year: true, nothing changed.
  parts_.identity.cIYear = "";
  bool ok = false;
  EXPECT_EQ(Info(120, Variant("kept"), &ok).ToString(), "kept");
  EXPECT_TRUE(ok);
  EXPECT_EQ(Info(300).ToString(), "");
  // A year without rights: false for 120, no object for 301.
  parts_.identity.cIYear = "2030";
  Info(120, Variant(), &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(Info(301).ToObject(), nullptr);
}

TEST_P(CalendarTest, SubsystemDatesPeriodChangesAndClosingFlags) {
  bool ok = false;
  EXPECT_EQ(FormatDay(Info(201, Variant("GL")).ToDate()), "2020-01-01");
  EXPECT_EQ(FormatDay(Info(302, Variant(int16_t{0})).ToDate()), "2019-12-01");  // not a string: the own subsystem
  EXPECT_TRUE(Info(201, Variant("AP"), &ok).IsNull());
  EXPECT_TRUE(ok);
  // 200 writes the first-use date, adding the row when there is none.
  parts_.identity.cSub_Id = "AP";
  Variant first_use(Day(2021, 5, 1));
  EXPECT_TRUE(calendar_.GetAccInfo(200, first_use));
  EXPECT_EQ(FormatDay(Info(201).ToDate()), "2021-05-01");
  Info(200, Variant("not a date"), &ok);
  EXPECT_FALSE(ok);
  // 200 without an account set takes the first one found.
  parts_.identity.cAcc_Id = "";
  Variant null_date(Null{});
  EXPECT_TRUE(calendar_.GetAccInfo(200, null_date));
  EXPECT_FALSE(parts_.identity.cAcc_Id.empty());
  parts_.identity.cAcc_Id = "K01";
  parts_.identity.cSub_Id = "GL";

  EXPECT_EQ(Info(203, Variant(int16_t{0})).ToInt32(), 3);
  EXPECT_EQ(Info(203, Variant("AP")).ToInt32(), -1);
  Info(203, Variant(2.5), &ok);
  EXPECT_FALSE(ok);
  Variant changes(int16_t{7});
  EXPECT_TRUE(calendar_.GetAccInfo(202, changes));
  EXPECT_EQ(Info(203, Variant(int16_t{0})).ToInt32(), 7);
  Info(202, Variant(int32_t{70000}), &ok);
  EXPECT_FALSE(ok);

  EXPECT_FALSE(Info(204, Variant("GL")).ToBool());  // NULL reads as false
  Info(204, Variant("AP"), &ok);
  EXPECT_FALSE(ok);  // no row
  Info(206, Variant("AP"), &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(Count("SELECT count(*) FROM UA_Account_Sub WHERE cSub_Id='AP' AND iYear=2024"), 0);
  Info(205, Variant("AP"), &ok);
  EXPECT_TRUE(ok);
  EXPECT_TRUE(Info(204, Variant("AP")).ToBool());
  Info(206, Variant("AP"), &ok);
  EXPECT_FALSE(Info(204, Variant("AP")).ToBool());
  // Quotes in a subsystem code are only text.
  Info(205, Variant("A'P"), &ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(Count("SELECT count(*) FROM UA_Account_Sub WHERE cSub_Id='A''P'"), 1);
}

TEST_P(CalendarTest, ClosingStatusOfAnySubsystemAndYear) {
  bool state = true;
  // A read of a missing row creates it, not closed, and leaves the value.
  EXPECT_TRUE(calendar_.ClosingStatus(204, "AP", 2024, state));
  EXPECT_TRUE(state);
  EXPECT_EQ(Count("SELECT count(*) FROM UA_Account_Sub WHERE cSub_Id='AP' AND iYear=2024 AND bclosing=0"), 1);
  EXPECT_TRUE(calendar_.ClosingStatus(204, "AP", 2024, state));
  EXPECT_FALSE(state);
  // Another year of the account set; clearing a missing row creates none.
  EXPECT_FALSE(calendar_.ClosingStatus(206, "GL", 2023, state));
  EXPECT_EQ(Count("SELECT count(*) FROM UA_Account_Sub WHERE iYear=2023"), 0);
  EXPECT_TRUE(calendar_.ClosingStatus(205, "GL", 2023, state));
  EXPECT_TRUE(calendar_.ClosingStatus(204, "GL", 2023, state));
  EXPECT_TRUE(state);
  EXPECT_TRUE(calendar_.ClosingStatus(206, "GL", 2023, state));
  EXPECT_TRUE(calendar_.ClosingStatus(204, "GL", 2023, state));
  EXPECT_FALSE(state);
  // NULL reads as false.
  state = true;
  EXPECT_TRUE(calendar_.ClosingStatus(204, "GL", 2024, state));
  EXPECT_FALSE(state);
  // Any other index: true after the checks, nothing read or written.
  state = true;
  EXPECT_TRUE(calendar_.ClosingStatus(207, "GL", 2024, state));
  EXPECT_TRUE(state);
  EXPECT_FALSE(calendar_.ClosingStatus(207, "XX", 2024, state));  // no such subsystem
  EXPECT_FALSE(calendar_.ClosingStatus(205, "GL", 2031, state));  // no calendar
  EXPECT_EQ(Count("SELECT count(*) FROM UA_Account_Sub WHERE iYear=2031"), 0);
}

TEST_P(CalendarTest, ErrorsReachTheCallerOfGetAccInfo) {
  clsLogin fresh;  // not signed on
  Variant v;
  EXPECT_THROW(fresh.GetAccInfo(105, v), ComError);
  parts_.identity.cIYear = "20x4";
  Variant sub("GL");
  EXPECT_THROW(calendar_.GetAccInfo(204, sub), ComError);
}

std::string KindName(const ::testing::TestParamInfo<ScratchServer::Kind>& info) {
  return info.param == ScratchServer::Kind::kSqlite ? "SQLite" : "PostgreSQL";
}

INSTANTIATE_TEST_SUITE_P(Backends, CalendarTest,
                         ::testing::Values(ScratchServer::Kind::kSqlite, ScratchServer::Kind::kPostgres), KindName);

}  // namespace
}  // namespace tarn
